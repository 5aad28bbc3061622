#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <functional>

#include "platform/net.h"

namespace vantrel::platform {

namespace {

// Winsock gives every thread its own storage for the answers of
// gethostbyname, gethostbyaddr and getservbyname, so the probes' lookups run
// side by side without a lock, each copying its answer out before its next
// call on the same thread.

SOCKET Sock(SocketHandle socket) { return static_cast<SOCKET>(socket); }

WaitResult WaitFor(SocketHandle socket, bool for_write, int timeout_ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(Sock(socket), &set);
  timeval limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  int ready = ::select(0, for_write ? nullptr : &set, for_write ? &set : nullptr, nullptr,
                       timeout_ms < 0 ? nullptr : &limit);
  if (ready > 0) return WaitResult::kReady;
  if (ready == 0) return WaitResult::kTimeout;
  return WaitResult::kError;
}

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = address;
  return to;
}

}  // namespace

bool StartSockets() {
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 0), &data) != 0) return false;
  if (LOBYTE(data.wVersion) != 2) {
    ::WSACleanup();
    return false;
  }
  return true;
}

void StopSockets() { ::WSACleanup(); }

bool LookupService(const std::string& name, const char* protocol, std::uint16_t* port) {
  servent* entry = ::getservbyname(name.c_str(), protocol);
  if (entry == nullptr) return false;
  *port = ntohs(static_cast<u_short>(entry->s_port));
  return true;
}

bool ResolveHost(const std::string& host, std::uint32_t* address) {
  hostent* entry = ::gethostbyname(host.c_str());
  if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list[0] == nullptr) return false;
  std::memcpy(address, entry->h_addr_list[0], sizeof *address);
  return true;
}

bool ReverseLookup(std::uint32_t address, std::string* name) {
  hostent* entry = ::gethostbyaddr(reinterpret_cast<const char*>(&address), sizeof address, AF_INET);
  if (entry == nullptr || entry->h_name == nullptr) return false;
  *name = entry->h_name;
  return true;
}

bool CanonicalName(const std::string& host, std::string* name) {
  if (host.empty()) return false;
  hostent* entry = ::gethostbyname(host.c_str());
  if (entry == nullptr || entry->h_name == nullptr) return false;
  *name = entry->h_name;
  return true;
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return std::string();
  return name;
}

bool FirstLocalAddress(std::uint32_t* address) { return ResolveHost("", address); }

std::string AddressText(std::uint32_t address) {
  in_addr in{};
  in.s_addr = address;
  const char* text = ::inet_ntoa(in);
  return text != nullptr ? std::string(text) : std::string();
}

SocketHandle ConnectTcp(std::uint32_t address, std::uint16_t port, int wait_ms,
                        const std::function<bool()>& give_up) {
  // Non-blocking while connecting, so that a host that drops the SYN costs
  // at most wait_ms; blocking afterwards.
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kNoSocket;
  u_long non_blocking = 1;
  bool open = ::ioctlsocket(s, FIONBIO, &non_blocking) == 0;
  sockaddr_in to = MakeAddress(address, port);
  if (open && ::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    open = false;
    if (::WSAGetLastError() == WSAEWOULDBLOCK) {
      // Waits of at most a quarter second, so that give_up is heard.
      const DWORD start = ::GetTickCount();
      for (;;) {
        long left = wait_ms < 0 ? 250 : wait_ms - static_cast<long>(::GetTickCount() - start);
        if (left <= 0) break;
        long slice = left < 250 ? left : 250;
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval limit{slice / 1000, (slice % 1000) * 1000};
        int ready = ::select(0, nullptr, &writable, &failed, &limit);
        if (ready != 0) {
          open = ready > 0 && FD_ISSET(s, &writable) && !FD_ISSET(s, &failed);
          break;
        }
        if (give_up && give_up()) break;
      }
    }
  }
  u_long blocking = 0;
  if (!open || ::ioctlsocket(s, FIONBIO, &blocking) != 0) {
    ::closesocket(s);
    return kNoSocket;
  }
  return static_cast<SocketHandle>(s);
}

SocketHandle OpenUdp(int local_port) {
  SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (s == INVALID_SOCKET) return kNoSocket;
  if (local_port >= 0) {
    sockaddr_in local = MakeAddress(htonl(INADDR_ANY), static_cast<std::uint16_t>(local_port));
    if (::bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      ::closesocket(s);
      return kNoSocket;
    }
  }
  return static_cast<SocketHandle>(s);
}

WaitResult WaitReadable(SocketHandle socket, int timeout_ms) { return WaitFor(socket, false, timeout_ms); }
WaitResult WaitWritable(SocketHandle socket, int timeout_ms) { return WaitFor(socket, true, timeout_ms); }

long SendBytes(SocketHandle socket, const char* data, std::size_t size) {
  int sent = ::send(Sock(socket), data, static_cast<int>(size), 0);
  return sent == SOCKET_ERROR ? -1 : sent;
}

long ReceiveBytes(SocketHandle socket, char* buffer, std::size_t size) {
  int got = ::recv(Sock(socket), buffer, static_cast<int>(size), 0);
  return got == SOCKET_ERROR ? -1 : got;
}

long SendDatagram(SocketHandle socket, std::uint32_t address, std::uint16_t port,
                  const char* data, std::size_t size) {
  sockaddr_in to = MakeAddress(address, port);
  int sent = ::sendto(Sock(socket), data, static_cast<int>(size), 0, reinterpret_cast<sockaddr*>(&to),
                      sizeof to);
  return sent == SOCKET_ERROR ? -1 : sent;
}

long ReceiveDatagram(SocketHandle socket, char* buffer, std::size_t size,
                     std::uint32_t* from_address, std::uint16_t* from_port) {
  sockaddr_in from{};
  int from_size = sizeof from;
  int got = ::recvfrom(Sock(socket), buffer, static_cast<int>(size), 0, reinterpret_cast<sockaddr*>(&from),
                       &from_size);
  if (got == SOCKET_ERROR) return -1;
  *from_address = from.sin_addr.s_addr;
  *from_port = ntohs(from.sin_port);
  return got;
}

void CloseSocket(SocketHandle socket) {
  if (socket != kNoSocket) ::closesocket(Sock(socket));
}

}  // namespace vantrel::platform
