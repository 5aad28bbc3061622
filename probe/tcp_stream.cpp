#include "probe/tcp_stream.h"

#include <cstdint>

namespace vantrel {

namespace {
constexpr std::uint16_t kSmtpPort = 25;
}  // namespace

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
  // Minimal systems come without a services database (Debian without
  // netbase); SMTP's port is fixed by RFC 5321 all the same.
  if (!network.LookupService(service, "tcp", &port)) {
    if (service != "smtp") {
      cause = OpenError::kUnknownService;
      return nullptr;
    }
    port = kSmtpPort;
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
