// The system resolver's entry points that the POSIX host lookups go through.
// Tests put stand-ins here to play a slow or failing resolver underneath the
// real lookup code; the product never changes them.
#pragma once

#include <netdb.h>
#include <sys/socket.h>

namespace vantrel::platform {

struct ResolverCalls {
  int (*get_addr_info)(const char* node, const char* service, const addrinfo* hints, addrinfo** result) =
      ::getaddrinfo;
  void (*free_addr_info)(addrinfo* list) = ::freeaddrinfo;
  int (*get_name_info)(const sockaddr* address, socklen_t address_size, char* host, socklen_t host_size,
                       char* service, socklen_t service_size, int flags) = ::getnameinfo;
};

// Set them before any lookup runs and put them back after the last.
ResolverCalls& SystemResolverCalls();

}  // namespace vantrel::platform
