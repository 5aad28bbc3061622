#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "platform/net.h"
#include "platform/posix/resolver_calls.h"

namespace vantrel::platform {

namespace {

// getaddrinfo and getnameinfo keep no shared storage, so the probes' lookups
// run side by side: one slow reverse lookup holds up only its own probe.
using AddressList = std::unique_ptr<addrinfo, void (*)(addrinfo*)>;

AddressList LookUpAddresses(const char* node, const char* service, int socket_type, int flags) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = socket_type;
  hints.ai_flags = flags;
  addrinfo* found = nullptr;
  ResolverCalls& calls = SystemResolverCalls();
  if (calls.get_addr_info(node, service, &hints, &found) != 0) found = nullptr;
  return AddressList(found, calls.free_addr_info);
}

std::uint32_t AddressOf(const addrinfo* entry) {
  return reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
}

bool IsLoopback(std::uint32_t address) { return (ntohl(address) >> 24) == 127; }

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

// A wait of up to wait_ms (no limit when negative) cut into slices, so that
// give_up is heard within a quarter second.
WaitResult WaitInSlices(SocketHandle socket, short events, int wait_ms, const std::function<bool()>& give_up) {
  if (!give_up) return WaitFor(socket, events, wait_ms);
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
  for (;;) {
    long long slice = 250;
    if (wait_ms >= 0) {
      long long left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return WaitResult::kTimeout;
      slice = std::min(left, slice);
    }
    WaitResult ready = WaitFor(socket, events, static_cast<int>(slice));
    if (ready != WaitResult::kTimeout || give_up()) return ready;
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

ResolverCalls& SystemResolverCalls() {
  static ResolverCalls* calls = new ResolverCalls;
  return *calls;
}

bool LookupService(const std::string& name, const char* protocol, std::uint16_t* port) {
  // Only a name from the services database: a number is no service name.
  if (name.empty() || name.find_first_not_of("0123456789") == std::string::npos) return false;
  int socket_type = std::strcmp(protocol, "udp") == 0 ? SOCK_DGRAM : SOCK_STREAM;
  AddressList found = LookUpAddresses(nullptr, name.c_str(), socket_type, AI_PASSIVE);
  if (found == nullptr) return false;
  *port = ntohs(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_port);
  return true;
}

bool ResolveHost(const std::string& host, std::uint32_t* address) {
  if (host.empty()) return false;
  AddressList found = LookUpAddresses(host.c_str(), nullptr, SOCK_STREAM, 0);
  if (found == nullptr) return false;
  *address = AddressOf(found.get());
  return true;
}

bool ReverseLookup(std::uint32_t address, std::string* name) {
  sockaddr_in from{};
  from.sin_family = AF_INET;
  from.sin_addr.s_addr = address;
  char host[NI_MAXHOST] = {};
  if (SystemResolverCalls().get_name_info(reinterpret_cast<const sockaddr*>(&from), sizeof from, host, sizeof host,
                                          nullptr, 0, NI_NAMEREQD) != 0) {
    return false;
  }
  *name = host;
  return true;
}

bool CanonicalName(const std::string& host, std::string* name) {
  if (host.empty()) return false;
  AddressList found = LookUpAddresses(host.c_str(), nullptr, SOCK_STREAM, AI_CANONNAME);
  if (found == nullptr || found->ai_canonname == nullptr) return false;
  *name = found->ai_canonname;
  return true;
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return std::string();
  return name;
}

bool FirstLocalAddress(std::uint32_t* address) {
  // POSIX resolvers give nothing for the empty name; this computer's own name
  // is what a user would look up instead. Many systems list the host name
  // under a loopback address first; an address others can reach comes first.
  std::string name = HostName();
  if (name.empty()) return false;
  AddressList found = LookUpAddresses(name.c_str(), nullptr, SOCK_STREAM, 0);
  if (found == nullptr) return false;
  const addrinfo* chosen = found.get();
  for (const addrinfo* entry = found.get(); entry != nullptr; entry = entry->ai_next) {
    if (!IsLoopback(AddressOf(entry))) {
      chosen = entry;
      break;
    }
  }
  *address = AddressOf(chosen);
  return true;
}

std::string AddressText(std::uint32_t address) {
  char text[INET_ADDRSTRLEN] = {};
  in_addr in{};
  in.s_addr = address;
  if (::inet_ntop(AF_INET, &in, text, sizeof text) == nullptr) return std::string();
  return text;
}

SocketHandle ConnectTcp(std::uint32_t address, std::uint16_t port, int wait_ms,
                        const std::function<bool()>& give_up) {
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
    open = WaitInSlices(fd, POLLOUT, wait_ms, give_up) == WaitResult::kReady &&
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
