#include "dns/system_seam.h"

#include <utility>

#include "platform/net.h"

namespace vantrel::dns {

namespace {

SystemSeam& Current() {
  static SystemSeam* seam = new SystemSeam(RealSystem());
  return *seam;
}

}  // namespace

SystemSeam RealSystem() {
  SystemSeam seam;
  seam.start_sockets = platform::StartSockets;
  seam.stop_sockets = platform::StopSockets;
  seam.resolve_host = platform::ResolveHost;
  return seam;
}

const SystemSeam& CurrentSystem() { return Current(); }

ScopedSystemSeam::ScopedSystemSeam(SystemSeam seam) : previous_(Current()) {
  SystemSeam real = RealSystem();
  if (!seam.start_sockets) seam.start_sockets = real.start_sockets;
  if (!seam.stop_sockets) seam.stop_sockets = real.stop_sockets;
  if (!seam.resolve_host) seam.resolve_host = real.resolve_host;
  Current() = std::move(seam);
}

ScopedSystemSeam::~ScopedSystemSeam() { Current() = std::move(previous_); }

}  // namespace vantrel::dns
