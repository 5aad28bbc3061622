// What the lookup asks of the system beyond its own socket: the counted
// start-up and release of the sockets library, and the system's host resolver
// for the exchange hosts. The real functions are the default; tests put
// counting or faking stand-ins in place for one scope.
#pragma once

#include "platform/net_calls.h"

namespace vantrel::dns {

// The lookup uses start_sockets, stop_sockets and resolve_host (gethostbyname
// of each exchange host).
using SystemSeam = platform::NetCalls;

inline const SystemSeam& RealSystem() { return platform::PlatformNetCalls(); }

// The seam the lookup uses now. Lookups run on one thread at a time; replace
// it only while no lookup is running.
const SystemSeam& CurrentSystem();

// Puts a seam in place and restores the previous one when it goes out of
// scope. Start from RealSystem() and replace what the test needs.
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
