// A Network for the lookup tests: it counts the starts and releases of the
// sockets library and answers host names from a table, so nothing reaches a
// real resolver. Datagram sockets are the real ones, on loopback.
#pragma once

#include <arpa/inet.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/network.h"

namespace vantrel::dns {

// Host name -> dotted address.
using Hosts = std::map<std::string, std::string>;

class FakeSystem : public platform::SystemNetwork {
 public:
  explicit FakeSystem(Hosts hosts = {}, bool sockets_start = true)
      : hosts_(std::move(hosts)), sockets_start_(sockets_start) {}

  int starts = 0;  // successful start-ups only
  int stops = 0;
  std::vector<std::string> resolved;  // every host asked, in order

  bool StartSockets() override {
    if (!sockets_start_) return false;
    ++starts;
    return true;
  }
  void StopSockets() override { ++stops; }
  bool ResolveHost(const std::string& host, std::uint32_t* address) override {
    resolved.push_back(host);
    auto found = hosts_.find(host);
    if (found == hosts_.end()) return false;
    in_addr parsed{};
    if (::inet_pton(AF_INET, found->second.c_str(), &parsed) != 1) return false;
    *address = parsed.s_addr;
    return true;
  }

 private:
  Hosts hosts_;
  bool sockets_start_;
};

}  // namespace vantrel::dns
