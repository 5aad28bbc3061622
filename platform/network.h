// The seam under every socket and host lookup, as FileSystem is under every
// file: the product hands RealNetwork() to the lookup and the probes, and
// tests hand in a Network that counts, fakes or fails single calls. A
// stand-in usually derives from SystemNetwork and overrides what it needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/byte_stream.h"

namespace vantrel::platform {

// An unconnected IPv4 datagram socket. Addresses are 32-bit values with the
// first number in the lowest byte (in_addr.s_addr); ports are in host order.
class DatagramSocket {
 public:
  virtual ~DatagramSocket() = default;
  // One datagram of all size bytes; kOk with the count actually sent.
  virtual IoResult SendTo(std::uint32_t address, std::uint16_t port, const char* data, std::size_t size) = 0;
  // Waits at most wait_ms for a datagram, then takes it, up to size bytes,
  // with its sender. A datagram of 0 bytes is kOk with count 0.
  virtual IoResult ReceiveFrom(char* buffer, std::size_t size, int wait_ms, std::uint32_t* from_address,
                               std::uint16_t* from_port) = 0;
};

class Network {
 public:
  virtual ~Network() = default;

  // Counted start and release of the sockets library (WSAStartup 2.0 and
  // WSACleanup on Windows); only a successful start may be matched by a stop.
  virtual bool StartSockets() = 0;
  virtual void StopSockets() = 0;

  virtual bool LookupService(const std::string& name, const char* protocol, std::uint16_t* port) = 0;
  virtual bool ResolveHost(const std::string& host, std::uint32_t* address) = 0;  // first IPv4 address
  virtual bool ReverseLookup(std::uint32_t address, std::string* name) = 0;
  virtual bool CanonicalName(const std::string& host, std::string* name) = 0;
  virtual std::string HostName() = 0;
  // This computer's first IPv4 address, as a user would name it.
  virtual bool FirstLocalAddress(std::uint32_t* address) = 0;

  // A TCP connection, opened within wait_ms; null when it could not be made
  // in time or give_up (asked at least every quarter second) said to stop.
  // Each stream and socket holds its own start of the sockets library until
  // it is destroyed.
  virtual std::unique_ptr<ByteStream> ConnectTcp(std::uint32_t address, std::uint16_t port, int wait_ms,
                                                 const std::function<bool()>& give_up) = 0;
  // A datagram socket, bound to local_port on all addresses when local_port >= 0.
  virtual std::unique_ptr<DatagramSocket> OpenUdp(int local_port) = 0;
};

// The platform's own sockets and resolver.
class SystemNetwork : public Network {
 public:
  bool StartSockets() override;
  void StopSockets() override;
  bool LookupService(const std::string& name, const char* protocol, std::uint16_t* port) override;
  bool ResolveHost(const std::string& host, std::uint32_t* address) override;
  bool ReverseLookup(std::uint32_t address, std::string* name) override;
  bool CanonicalName(const std::string& host, std::string* name) override;
  std::string HostName() override;
  bool FirstLocalAddress(std::uint32_t* address) override;
  std::unique_ptr<ByteStream> ConnectTcp(std::uint32_t address, std::uint16_t port, int wait_ms,
                                         const std::function<bool()>& give_up) override;
  std::unique_ptr<DatagramSocket> OpenUdp(int local_port) override;
};

Network& RealNetwork();

// One start of the sockets library, released when the lease ends.
class SocketsLease {
 public:
  explicit SocketsLease(Network& network) : network_(network), held_(network.StartSockets()) {}
  ~SocketsLease() {
    if (held_) network_.StopSockets();
  }
  SocketsLease(const SocketsLease&) = delete;
  SocketsLease& operator=(const SocketsLease&) = delete;

  bool held() const { return held_; }

 private:
  Network& network_;
  bool held_;
};

}  // namespace vantrel::platform
