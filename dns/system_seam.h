// What the lookup asks of the system beyond its own socket: the counted
// start-up and release of the sockets library, and the system's host resolver
// for the exchange hosts. The real functions are the default; tests put
// counting or faking stand-ins in place for one scope.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vantrel::dns {

struct SystemSeam {
  std::function<bool()> start_sockets;
  std::function<void()> stop_sockets;
  // The first IPv4 address of a host name (gethostbyname).
  std::function<bool(const std::string& host, std::uint32_t* address)> resolve_host;
};

SystemSeam RealSystem();

// The seam the lookup uses now. Lookups run on one thread at a time; replace
// it only while no lookup is running.
const SystemSeam& CurrentSystem();

// Puts a seam in place and restores the previous one when it goes out of scope.
// Members left empty keep the real function.
class ScopedSystemSeam {
 public:
  explicit ScopedSystemSeam(SystemSeam seam);
  ~ScopedSystemSeam();
  ScopedSystemSeam(const ScopedSystemSeam&) = delete;
  ScopedSystemSeam& operator=(const ScopedSystemSeam&) = delete;

 private:
  SystemSeam previous_;
};

}  // namespace vantrel::dns
