#include "probe/local_host_name.h"

#include <algorithm>
#include <cstdint>

#include "text/ascii_case.h"

namespace vantrel {

namespace {

bool FitsInCommand(const std::string& name) {
  return std::none_of(name.begin(), name.end(), [](char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' || byte == 127;
  });
}

#ifdef _WIN32

std::string LookUp(platform::Network& network) {
  std::uint32_t address = 0;
  if (!network.FirstLocalAddress(&address)) address = 0;
  if (address == 0) return network.HostName();
  std::string name;
  if (!network.ReverseLookup(address, &name)) return std::string();
  return name;
}

#else

// "localhost" and "localhost.localdomain" name every computer, so strict mail
// servers refuse them in HELO.
bool NamesEveryComputer(const std::string& name) {
  const std::string lower = text::AsciiLower(name);
  return lower == "localhost" || lower.rfind("localhost.", 0) == 0;
}

bool IsFullName(const std::string& name) {
  std::size_t dot = name.find('.');
  return dot != std::string::npos && dot != 0 && name.back() != '.' && !NamesEveryComputer(name) &&
         FitsInCommand(name);
}

// Many systems list the bare host name under a loopback address, where the
// reverse lookup says "localhost"; mail servers want the fully qualified name.
// In order: the reverse name of this computer's address, the resolver's
// canonical name for the host name, the host name itself, and only then
// whatever the reverse lookup said.
std::string LookUp(platform::Network& network) {
  std::uint32_t address = 0;
  if (!network.FirstLocalAddress(&address)) address = 0;
  std::string host = network.HostName();
  if (address == 0) return host;
  std::string reverse;
  if (!network.ReverseLookup(address, &reverse)) reverse.clear();
  if (IsFullName(reverse)) return reverse;
  std::string canonical;
  if (!host.empty() && network.CanonicalName(host, &canonical) && IsFullName(canonical)) return canonical;
  if (!host.empty() && !NamesEveryComputer(host) && FitsInCommand(host)) return host;
  return reverse;
}

#endif

}  // namespace

std::string LocalHostName(platform::Network& network) {
  // The resolver needs the sockets library on some platforms; without it the
  // lookups below simply fail.
  platform::SocketsLease lease(network);
  std::string name = LookUp(network);
  return FitsInCommand(name) ? name : std::string();
}

}  // namespace vantrel
