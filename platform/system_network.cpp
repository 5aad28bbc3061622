// The real Network: the calls of platform/net.h, with TCP streams and
// datagram sockets that each hold their own start of the sockets library.
#include "platform/net.h"
#include "platform/network.h"

namespace vantrel::platform {

namespace {

IoResult Failed() { return {IoStatus::kError, 0}; }

// Turns a readiness wait into the stream's status, or kOk to go on.
IoStatus Ready(WaitResult ready) {
  switch (ready) {
    case WaitResult::kReady: return IoStatus::kOk;
    case WaitResult::kTimeout: return IoStatus::kTimeout;
    case WaitResult::kError: break;
  }
  return IoStatus::kError;
}

class TcpStream : public ByteStream {
 public:
  TcpStream(Network& network, SocketHandle socket) : lease_(network), socket_(socket) {}
  ~TcpStream() override { CloseSocket(socket_); }  // before the lease lets the library go
  TcpStream(const TcpStream&) = delete;
  TcpStream& operator=(const TcpStream&) = delete;

  IoResult Receive(char* buffer, std::size_t size, int wait_ms) override {
    IoStatus ready = Ready(WaitReadable(socket_, wait_ms));
    if (ready != IoStatus::kOk) return {ready, 0};
    long got = ReceiveBytes(socket_, buffer, size);
    if (got < 0) return Failed();
    if (got == 0) return {IoStatus::kClosed, 0};
    return {IoStatus::kOk, static_cast<std::size_t>(got)};
  }

  IoResult Send(const char* data, std::size_t size, int wait_ms) override {
    IoStatus ready = Ready(WaitWritable(socket_, wait_ms));
    if (ready != IoStatus::kOk) return {ready, 0};
    long sent = SendBytes(socket_, data, size);
    if (sent <= 0) return Failed();
    return {IoStatus::kOk, static_cast<std::size_t>(sent)};
  }

 private:
  SocketsLease lease_;
  SocketHandle socket_;
};

class UdpSocket : public DatagramSocket {
 public:
  UdpSocket(Network& network, SocketHandle socket) : lease_(network), socket_(socket) {}
  ~UdpSocket() override { CloseSocket(socket_); }
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  IoResult SendTo(std::uint32_t address, std::uint16_t port, const char* data, std::size_t size) override {
    if (WaitWritable(socket_, -1) != WaitResult::kReady) return Failed();
    long sent = SendDatagram(socket_, address, port, data, size);
    if (sent < 0) return Failed();
    return {IoStatus::kOk, static_cast<std::size_t>(sent)};
  }

  IoResult ReceiveFrom(char* buffer, std::size_t size, int wait_ms, std::uint32_t* from_address,
                       std::uint16_t* from_port) override {
    IoStatus ready = Ready(WaitReadable(socket_, wait_ms));
    if (ready != IoStatus::kOk) return {ready, 0};
    long got = ReceiveDatagram(socket_, buffer, size, from_address, from_port);
    if (got < 0) return Failed();
    return {IoStatus::kOk, static_cast<std::size_t>(got)};
  }

 private:
  SocketsLease lease_;
  SocketHandle socket_;
};

}  // namespace

bool SystemNetwork::StartSockets() { return platform::StartSockets(); }
void SystemNetwork::StopSockets() { platform::StopSockets(); }
bool SystemNetwork::LookupService(const std::string& name, const char* protocol, std::uint16_t* port) {
  return platform::LookupService(name, protocol, port);
}
bool SystemNetwork::ResolveHost(const std::string& host, std::uint32_t* address) {
  return platform::ResolveHost(host, address);
}
bool SystemNetwork::ReverseLookup(std::uint32_t address, std::string* name) {
  return platform::ReverseLookup(address, name);
}
bool SystemNetwork::CanonicalName(const std::string& host, std::string* name) {
  return platform::CanonicalName(host, name);
}
std::string SystemNetwork::HostName() { return platform::HostName(); }
bool SystemNetwork::FirstLocalAddress(std::uint32_t* address) { return platform::FirstLocalAddress(address); }

std::unique_ptr<ByteStream> SystemNetwork::ConnectTcp(std::uint32_t address, std::uint16_t port, int wait_ms,
                                                      const std::function<bool()>& give_up) {
  SocketsLease lease(*this);
  if (!lease.held()) return nullptr;
  SocketHandle socket = platform::ConnectTcp(address, port, wait_ms, give_up);
  if (socket == kNoSocket) return nullptr;
  return std::make_unique<TcpStream>(*this, socket);
}

std::unique_ptr<DatagramSocket> SystemNetwork::OpenUdp(int local_port) {
  SocketsLease lease(*this);
  if (!lease.held()) return nullptr;
  SocketHandle socket = platform::OpenUdp(local_port);
  if (socket == kNoSocket) return nullptr;
  return std::make_unique<UdpSocket>(*this, socket);
}

Network& RealNetwork() {
  static SystemNetwork* network = new SystemNetwork;
  return *network;
}

}  // namespace vantrel::platform
