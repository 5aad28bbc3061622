#include "probe/local_host_name.h"

#include <algorithm>
#include <cstdint>

namespace vantrel {

namespace {

bool FitsInCommand(const std::string& name) {
  return std::none_of(name.begin(), name.end(), [](char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' || byte == 127;
  });
}

std::string LookUp(const platform::NetCalls& calls) {
  std::uint32_t address = 0;
  if (!calls.first_local_address(&address)) address = 0;
  if (address == 0) return calls.host_name();
  std::string name;
  if (!calls.reverse_lookup(address, &name)) return std::string();
  return name;
}

}  // namespace

std::string LocalHostName(const platform::NetCalls& calls) {
  // The resolver needs the sockets library on some platforms; without it the
  // lookups below simply fail.
  platform::SocketsLease lease = platform::SocketsLease::Take(calls);
  std::string name = LookUp(calls);
  return FitsInCommand(name) ? name : std::string();
}

}  // namespace vantrel
