// The name this computer gives of itself in HELO.
#pragma once

#include <string>

#include "platform/network.h"

namespace vantrel {

// The platform's host name when the computer has no address. Otherwise, on
// Windows, the name a reverse lookup gives for this computer's first IPv4
// address (empty when it fails). Elsewhere the fully qualified name where one
// can be found: the reverse name of the first address that is not a loopback
// address, else the resolver's canonical name for the host name, else the
// host name; "localhost" only when nothing better exists. Empty when the name
// holds a blank or a control character, which would corrupt the command it is
// sent in.
std::string LocalHostName(platform::Network& network);

}  // namespace vantrel
