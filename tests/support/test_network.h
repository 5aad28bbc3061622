// A Network for tests: the real calls unless a test puts its own in place,
// and counts of what was asked. Host names can be answered from a table so
// that nothing reaches a real resolver.
#pragma once

#include <arpa/inet.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/network.h"

namespace vantrel::testing {

class TestNetwork : public platform::SystemNetwork {
 public:
  // Host name -> dotted address; once set, ResolveHost answers from it alone.
  void AnswerHostsFrom(std::map<std::string, std::string> hosts) {
    std::lock_guard<std::mutex> lock(mutex_);
    hosts_ = std::move(hosts);
    use_table_ = true;
  }
  std::vector<std::string> Resolved() {
    std::lock_guard<std::mutex> lock(mutex_);
    return resolved_;
  }

  std::function<bool()> start_sockets;
  std::function<bool(const std::string&, const char*, std::uint16_t*)> lookup_service;
  std::function<bool(const std::string&, std::uint32_t*)> resolve_host;
  std::function<bool(std::uint32_t*)> first_local_address;
  std::function<bool(std::uint32_t, std::string*)> reverse_lookup;
  std::function<bool(const std::string&, std::string*)> canonical_name;
  std::function<std::string()> host_name;
  std::function<std::unique_ptr<platform::ByteStream>(std::uint32_t, std::uint16_t, int)> connect_tcp;

  std::atomic<int> starts{0};  // successful starts only
  std::atomic<int> stops{0};

  bool StartSockets() override {
    if (start_sockets ? !start_sockets() : !SystemNetwork::StartSockets()) return false;
    ++starts;
    return true;
  }
  void StopSockets() override {
    ++stops;
    if (!start_sockets) SystemNetwork::StopSockets();
  }
  bool LookupService(const std::string& name, const char* protocol, std::uint16_t* port) override {
    return lookup_service ? lookup_service(name, protocol, port) : SystemNetwork::LookupService(name, protocol, port);
  }
  bool ResolveHost(const std::string& host, std::uint32_t* address) override {
    std::lock_guard<std::mutex> lock(mutex_);
    resolved_.push_back(host);
    if (resolve_host) return resolve_host(host, address);
    if (!use_table_) return SystemNetwork::ResolveHost(host, address);
    auto found = hosts_.find(host);
    in_addr parsed{};
    if (found == hosts_.end() || ::inet_pton(AF_INET, found->second.c_str(), &parsed) != 1) return false;
    *address = parsed.s_addr;
    return true;
  }
  bool ReverseLookup(std::uint32_t address, std::string* name) override {
    return reverse_lookup ? reverse_lookup(address, name) : SystemNetwork::ReverseLookup(address, name);
  }
  bool CanonicalName(const std::string& host, std::string* name) override {
    return canonical_name ? canonical_name(host, name) : SystemNetwork::CanonicalName(host, name);
  }
  std::string HostName() override { return host_name ? host_name() : SystemNetwork::HostName(); }
  bool FirstLocalAddress(std::uint32_t* address) override {
    return first_local_address ? first_local_address(address) : SystemNetwork::FirstLocalAddress(address);
  }
  std::unique_ptr<platform::ByteStream> ConnectTcp(std::uint32_t address, std::uint16_t port, int wait_ms,
                                                   const std::function<bool()>& give_up) override {
    return connect_tcp ? connect_tcp(address, port, wait_ms)
                       : SystemNetwork::ConnectTcp(address, port, wait_ms, give_up);
  }

 private:
  std::mutex mutex_;
  bool use_table_ = false;
  std::map<std::string, std::string> hosts_;
  std::vector<std::string> resolved_;
};

// A Network whose HELO name is fixed, so transcripts do not depend on the machine.
inline void NameThisComputer(TestNetwork& network, const std::string& name) {
  network.first_local_address = [](std::uint32_t* address) {
    *address = 0;
    return true;
  };
  network.host_name = [name] { return name; };
}

}  // namespace vantrel::testing
