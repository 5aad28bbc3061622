#include "probe/tcp_stream.h"

#include <cstdint>
#include <utility>

namespace vantrel {

namespace {

class TcpStream : public ByteStream {
 public:
  TcpStream(platform::SocketHandle socket, platform::SocketsLease lease) : socket_(socket), lease_(std::move(lease)) {}
  ~TcpStream() override { platform::CloseSocket(socket_); }  // before the lease lets the library go
  TcpStream(const TcpStream&) = delete;
  TcpStream& operator=(const TcpStream&) = delete;

  IoResult Receive(char* buffer, std::size_t size, int wait_ms) override {
    switch (platform::WaitReadable(socket_, wait_ms)) {
      case platform::WaitResult::kTimeout: return {IoStatus::kTimeout, 0};
      case platform::WaitResult::kError: return {IoStatus::kError, 0};
      case platform::WaitResult::kReady: break;
    }
    long got = platform::ReceiveBytes(socket_, buffer, size);
    if (got < 0) return {IoStatus::kError, 0};
    if (got == 0) return {IoStatus::kClosed, 0};
    return {IoStatus::kOk, static_cast<std::size_t>(got)};
  }

  IoResult Send(const char* data, std::size_t size, int wait_ms) override {
    switch (platform::WaitWritable(socket_, wait_ms)) {
      case platform::WaitResult::kTimeout: return {IoStatus::kTimeout, 0};
      case platform::WaitResult::kError: return {IoStatus::kError, 0};
      case platform::WaitResult::kReady: break;
    }
    long sent = platform::SendBytes(socket_, data, size);
    if (sent <= 0) return {IoStatus::kError, 0};
    return {IoStatus::kOk, static_cast<std::size_t>(sent)};
  }

 private:
  platform::SocketHandle socket_;
  platform::SocketsLease lease_;
};

}  // namespace

std::unique_ptr<ByteStream> OpenTcpStream(const std::string& host, const std::string& service, OpenError* error,
                                          const platform::NetCalls& calls) {
  OpenError ignored;
  OpenError& cause = error != nullptr ? *error : ignored;
  platform::SocketsLease lease = platform::SocketsLease::Take(calls);
  if (!lease.held()) {
    cause = OpenError::kSocketsUnavailable;
    return nullptr;
  }
  std::uint16_t port = 0;
  if (!calls.lookup_service(service, "tcp", &port)) {
    cause = OpenError::kUnknownService;
    return nullptr;
  }
  std::uint32_t address = 0;
  if (!calls.resolve_host(host, &address)) {
    cause = OpenError::kUnresolvedHost;
    return nullptr;
  }
  platform::SocketHandle socket = calls.connect_tcp(address, port);
  if (socket == platform::kNoSocket) {
    cause = OpenError::kConnectFailed;
    return nullptr;
  }
  cause = OpenError::kNone;
  return std::make_unique<TcpStream>(socket, std::move(lease));
}

}  // namespace vantrel
