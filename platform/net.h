// Sockets, the way the rest of the system needs them: blocking IPv4 TCP and
// UDP with a readiness wait, the host and service databases, and the counted
// start-up of the sockets library. One implementation per platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vantrel::platform {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

enum class WaitResult { kReady, kTimeout, kError };

// Counted start and release of the sockets library (WSAStartup 2.0 and
// WSACleanup on Windows). Safe from any thread. StartSockets returns false when
// the library cannot be started or offers another major version; only a
// successful start may be matched by StopSockets. POSIX needs neither.
bool StartSockets();
void StopSockets();

// The host lookups are safe from any thread and take no process-wide lock.
// IPv4 addresses are 32-bit values with the first number in the lowest byte
// (in_addr.s_addr); ports are in host order.
bool LookupService(const std::string& name, const char* protocol, std::uint16_t* port);
bool ResolveHost(const std::string& host, std::uint32_t* address);  // first IPv4 address
bool ReverseLookup(std::uint32_t address, std::string* name);
// The name the resolver takes host for once its search domains and aliases
// are applied (getaddrinfo's canonical name).
bool CanonicalName(const std::string& host, std::string* name);
std::string HostName();
// This computer's first IPv4 address, as a user would name it: on Windows the
// resolver's answer for the empty name, elsewhere the first address of its
// host name that is not a loopback address (the first one when all are).
bool FirstLocalAddress(std::uint32_t* address);
std::string AddressText(std::uint32_t address);  // dotted decimal

// A connection opened within wait_ms (no limit when negative), then blocking
// like any other socket; kNoSocket on failure or when the time ran out.
// give_up is asked between waits of at most a quarter second and ends the
// attempt when it returns true.
SocketHandle ConnectTcp(std::uint32_t address, std::uint16_t port, int wait_ms,
                        const std::function<bool()>& give_up = nullptr);
// A datagram socket, bound to local_port on all addresses when local_port >= 0.
SocketHandle OpenUdp(int local_port);

// timeout_ms < 0 waits without a limit.
WaitResult WaitReadable(SocketHandle socket, int timeout_ms);
WaitResult WaitWritable(SocketHandle socket, int timeout_ms);

// The number of bytes moved, 0 from ReceiveBytes when the peer closed, -1 on error.
long SendBytes(SocketHandle socket, const char* data, std::size_t size);
long ReceiveBytes(SocketHandle socket, char* buffer, std::size_t size);
long SendDatagram(SocketHandle socket, std::uint32_t address, std::uint16_t port,
                  const char* data, std::size_t size);
long ReceiveDatagram(SocketHandle socket, char* buffer, std::size_t size,
                     std::uint32_t* from_address, std::uint16_t* from_port);

void CloseSocket(SocketHandle socket);

}  // namespace vantrel::platform
