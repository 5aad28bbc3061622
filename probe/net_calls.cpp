#include "probe/net_calls.h"

namespace vantrel {

const NetCalls& PlatformNetCalls() {
  static const NetCalls* calls = new NetCalls{
      platform::StartSockets,   platform::StopSockets,        platform::LookupService,
      platform::ResolveHost,    platform::ConnectTcp,         platform::FirstLocalAddress,
      platform::ReverseLookup,  platform::HostName,
  };
  return *calls;
}

}  // namespace vantrel
