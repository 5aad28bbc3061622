#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/net.h"

namespace vantrel::platform {

namespace {

// The classic resolver calls return static storage; one lock keeps the
// probe threads from reading each other's answers.
std::mutex& ResolverMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}

int Fd(SocketHandle socket) { return static_cast<int>(socket); }

WaitResult WaitFor(SocketHandle socket, short events, int timeout_ms) {
  pollfd entry{Fd(socket), events, 0};
  for (;;) {
    int ready = ::poll(&entry, 1, timeout_ms < 0 ? -1 : timeout_ms);
    if (ready > 0) return WaitResult::kReady;
    if (ready == 0) return WaitResult::kTimeout;
    if (errno != EINTR) return WaitResult::kError;
  }
}

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = address;
  return to;
}

}  // namespace

bool StartSockets() { return true; }
void StopSockets() {}

bool LookupService(const std::string& name, const char* protocol, std::uint16_t* port) {
  std::lock_guard<std::mutex> lock(ResolverMutex());
  servent* entry = ::getservbyname(name.c_str(), protocol);
  if (entry == nullptr) return false;
  *port = ntohs(static_cast<std::uint16_t>(entry->s_port));
  return true;
}

bool ResolveHost(const std::string& host, std::uint32_t* address) {
  std::lock_guard<std::mutex> lock(ResolverMutex());
  hostent* entry = ::gethostbyname(host.c_str());
  if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list[0] == nullptr) return false;
  std::memcpy(address, entry->h_addr_list[0], sizeof *address);
  return true;
}

bool ReverseLookup(std::uint32_t address, std::string* name) {
  std::lock_guard<std::mutex> lock(ResolverMutex());
  hostent* entry = ::gethostbyaddr(&address, sizeof address, AF_INET);
  if (entry == nullptr || entry->h_name == nullptr) return false;
  *name = entry->h_name;
  return true;
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return std::string();
  return name;
}

bool FirstLocalAddress(std::uint32_t* address) {
  // POSIX resolvers give nothing for the empty name; this computer's own name
  // is what a user would look up instead.
  std::string name = HostName();
  return !name.empty() && ResolveHost(name, address);
}

std::string AddressText(std::uint32_t address) {
  char text[INET_ADDRSTRLEN] = {};
  in_addr in{};
  in.s_addr = address;
  if (::inet_ntop(AF_INET, &in, text, sizeof text) == nullptr) return std::string();
  return text;
}

SocketHandle ConnectTcp(std::uint32_t address, std::uint16_t port, int wait_ms) {
  // Non-blocking while connecting, so that a host that drops the SYN costs
  // at most wait_ms instead of the system's own minutes; blocking afterwards.
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
  if (fd < 0) return kNoSocket;
  sockaddr_in to = MakeAddress(address, port);
  int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
  bool open = rc == 0;
  if (!open && (errno == EINPROGRESS || errno == EINTR)) {
    int error = 0;
    socklen_t size = sizeof error;
    open = WaitFor(fd, POLLOUT, wait_ms) == WaitResult::kReady &&
           ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (!open || flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return kNoSocket;
  }
  return fd;
}

SocketHandle OpenUdp(int local_port) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kNoSocket;
  if (local_port >= 0) {
    sockaddr_in local = MakeAddress(htonl(INADDR_ANY), static_cast<std::uint16_t>(local_port));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      ::close(fd);
      return kNoSocket;
    }
  }
  return fd;
}

WaitResult WaitReadable(SocketHandle socket, int timeout_ms) { return WaitFor(socket, POLLIN, timeout_ms); }
WaitResult WaitWritable(SocketHandle socket, int timeout_ms) { return WaitFor(socket, POLLOUT, timeout_ms); }

long SendBytes(SocketHandle socket, const char* data, std::size_t size) {
  ssize_t sent;
  do {
    sent = ::send(Fd(socket), data, size, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return static_cast<long>(sent);
}

long ReceiveBytes(SocketHandle socket, char* buffer, std::size_t size) {
  ssize_t got;
  do {
    got = ::recv(Fd(socket), buffer, size, 0);
  } while (got < 0 && errno == EINTR);
  return static_cast<long>(got);
}

long SendDatagram(SocketHandle socket, std::uint32_t address, std::uint16_t port,
                  const char* data, std::size_t size) {
  sockaddr_in to = MakeAddress(address, port);
  ssize_t sent;
  do {
    sent = ::sendto(Fd(socket), data, size, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&to), sizeof to);
  } while (sent < 0 && errno == EINTR);
  return static_cast<long>(sent);
}

long ReceiveDatagram(SocketHandle socket, char* buffer, std::size_t size,
                     std::uint32_t* from_address, std::uint16_t* from_port) {
  sockaddr_in from{};
  socklen_t from_size = sizeof from;
  ssize_t got;
  do {
    got = ::recvfrom(Fd(socket), buffer, size, 0, reinterpret_cast<sockaddr*>(&from), &from_size);
  } while (got < 0 && errno == EINTR);
  if (got >= 0) {
    *from_address = from.sin_addr.s_addr;
    *from_port = ntohs(from.sin_port);
  }
  return static_cast<long>(got);
}

void CloseSocket(SocketHandle socket) {
  if (socket != kNoSocket) ::close(Fd(socket));
}

}  // namespace vantrel::platform
