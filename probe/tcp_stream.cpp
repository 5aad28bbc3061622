#include "probe/tcp_stream.h"

#include <cstdint>

namespace vantrel {

std::unique_ptr<platform::ByteStream> OpenTcpStream(platform::Network& network, const std::string& host,
                                                    const std::string& service, int wait_ms, OpenError* error,
                                                    const std::function<bool()>& give_up) {
  OpenError ignored;
  OpenError& cause = error != nullptr ? *error : ignored;
  // The look-ups need the sockets library on some platforms; the stream
  // holds a start of its own once it is open.
  platform::SocketsLease lease(network);
  if (!lease.held()) {
    cause = OpenError::kSocketsUnavailable;
    return nullptr;
  }
  std::uint16_t port = 0;
  if (!network.LookupService(service, "tcp", &port)) {
    cause = OpenError::kUnknownService;
    return nullptr;
  }
  std::uint32_t address = 0;
  if (!network.ResolveHost(host, &address)) {
    cause = OpenError::kUnresolvedHost;
    return nullptr;
  }
  std::unique_ptr<platform::ByteStream> stream = network.ConnectTcp(address, port, wait_ms, give_up);
  cause = stream != nullptr ? OpenError::kNone : OpenError::kConnectFailed;
  return stream;
}

}  // namespace vantrel
