// One task's way to the mail hosts through a SOCKS5 proxy: the Network it
// was given, except that every TCP connection is a CONNECT through the
// proxy. The SMTP dialogue sees a stream either way; host lookups, the HELO
// name and everything else still go straight to the Network below.
#pragma once

#include <memory>
#include <string>

#include "platform/network.h"
#include "probe/proxy_address.h"

namespace vantrel {

class ProxiedNetwork final : public platform::Network {
 public:
  // Failures are logged with slot in front, as the task's other lines are.
  ProxiedNetwork(platform::Network& direct, ProxyAddress proxy, int slot)
      : direct_(direct), proxy_(std::move(proxy)), slot_(slot) {}

  bool StartSockets() override { return direct_.StartSockets(); }
  void StopSockets() override { direct_.StopSockets(); }
  bool LookupService(const std::string& name, const char* protocol, std::uint16_t* port) override {
    return direct_.LookupService(name, protocol, port);
  }
  bool ResolveHost(const std::string& host, std::uint32_t* address) override {
    return direct_.ResolveHost(host, address);
  }
  bool ReverseLookup(std::uint32_t address, std::string* name) override {
    return direct_.ReverseLookup(address, name);
  }
  bool CanonicalName(const std::string& host, std::string* name) override {
    return direct_.CanonicalName(host, name);
  }
  std::string HostName() override { return direct_.HostName(); }
  bool FirstLocalAddress(std::uint32_t* address) override { return direct_.FirstLocalAddress(address); }
  // The proxy's connection, greeting and CONNECT, all within wait_ms.
  std::unique_ptr<platform::ByteStream> ConnectTcp(std::uint32_t address, std::uint16_t port, int wait_ms,
                                                   const std::function<bool()>& give_up) override;
  std::unique_ptr<platform::DatagramSocket> OpenUdp(int local_port) override { return direct_.OpenUdp(local_port); }

 private:
  platform::Network& direct_;
  ProxyAddress proxy_;
  int slot_;
};

}  // namespace vantrel
