// A stand-in for the sockets library and the system resolver that counts what
// the lookup asks of them and answers host names from a table. Nothing here
// reaches a real resolver.
#pragma once

#include <arpa/inet.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "dns/system_seam.h"

namespace vantrel::dns {

// Host name -> dotted address.
using Hosts = std::map<std::string, std::string>;

class FakeSystem {
 public:
  explicit FakeSystem(Hosts hosts = {}, bool sockets_start = true)
      : hosts_(std::move(hosts)),
        sockets_start_(sockets_start),
        scope_(SeamFor(this)) {}

  int starts = 0;  // successful start-ups only
  int stops = 0;
  std::vector<std::string> resolved;  // every host asked, in order

 private:
  static SystemSeam SeamFor(FakeSystem* self) {
    SystemSeam seam = RealSystem();
    seam.start_sockets = [self] { return self->Start(); };
    seam.stop_sockets = [self] { ++self->stops; };
    seam.resolve_host = [self](const std::string& host, std::uint32_t* address) {
      return self->Resolve(host, address);
    };
    return seam;
  }
  bool Start() {
    if (!sockets_start_) return false;
    ++starts;
    return true;
  }
  bool Resolve(const std::string& host, std::uint32_t* address) {
    resolved.push_back(host);
    auto found = hosts_.find(host);
    if (found == hosts_.end()) return false;
    in_addr parsed{};
    if (::inet_pton(AF_INET, found->second.c_str(), &parsed) != 1) return false;
    *address = parsed.s_addr;
    return true;
  }

  Hosts hosts_;
  bool sockets_start_;
  ScopedSystemSeam scope_;
};

}  // namespace vantrel::dns
