// The platform's socket and resolver calls as one replaceable set: the line
// channel, the local host name and the DNS lookup take them from here, so
// tests can count the starts and releases of the sockets library, answer
// host names from a table, or make single calls fail.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/net.h"

namespace vantrel::platform {

struct NetCalls {
  std::function<bool()> start_sockets;
  std::function<void()> stop_sockets;
  std::function<bool(const std::string& name, const char* protocol, std::uint16_t* port)> lookup_service;
  std::function<bool(const std::string& host, std::uint32_t* address)> resolve_host;
  std::function<SocketHandle(std::uint32_t address, std::uint16_t port)> connect_tcp;
  std::function<bool(std::uint32_t* address)> first_local_address;
  std::function<bool(std::uint32_t address, std::string* name)> reverse_lookup;
  std::function<std::string()> host_name;
};

// The real calls of platform/net.h.
const NetCalls& PlatformNetCalls();

// One start of the sockets library, released when the lease ends. Every
// channel holds its own, so the library stays usable while any channel is open.
class SocketsLease {
 public:
  explicit SocketsLease(std::function<void()> stop_sockets, bool started)
      : stop_sockets_(std::move(stop_sockets)), held_(started) {}
  static SocketsLease Take(const NetCalls& calls) { return SocketsLease(calls.stop_sockets, calls.start_sockets()); }
  SocketsLease(SocketsLease&& other) noexcept : stop_sockets_(std::move(other.stop_sockets_)), held_(other.held_) {
    other.held_ = false;
  }
  SocketsLease& operator=(SocketsLease&&) = delete;
  SocketsLease(const SocketsLease&) = delete;
  SocketsLease& operator=(const SocketsLease&) = delete;
  ~SocketsLease() {
    if (held_) stop_sockets_();
  }

  bool held() const { return held_; }

 private:
  std::function<void()> stop_sockets_;
  bool held_;
};

}  // namespace vantrel::platform
