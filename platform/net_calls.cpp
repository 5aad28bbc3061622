#include "platform/net_calls.h"

namespace vantrel::platform {

const NetCalls& PlatformNetCalls() {
  static const NetCalls* calls = new NetCalls{
      StartSockets,   StopSockets,        LookupService,
      ResolveHost,    ConnectTcp,         FirstLocalAddress,
      ReverseLookup,  HostName,
  };
  return *calls;
}

}  // namespace vantrel::platform
