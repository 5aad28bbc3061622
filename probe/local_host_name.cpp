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

std::string LookUp(platform::Network& network) {
  std::uint32_t address = 0;
  if (!network.FirstLocalAddress(&address)) address = 0;
  if (address == 0) return network.HostName();
  std::string name;
  if (!network.ReverseLookup(address, &name)) return std::string();
  return name;
}

}  // namespace

std::string LocalHostName(platform::Network& network) {
  // The resolver needs the sockets library on some platforms; without it the
  // lookups below simply fail.
  platform::SocketsLease lease(network);
  std::string name = LookUp(network);
  return FitsInCommand(name) ? name : std::string();
}

}  // namespace vantrel
