// The name this computer gives of itself in HELO.
#pragma once

#include <string>

#include "platform/network.h"

namespace vantrel {

// The name a reverse lookup gives for this computer's first IPv4 address, or
// the platform's host name when the computer has no address. Empty when the
// reverse lookup fails, or when the name it gives holds a blank or a control
// character, which would corrupt the command it is sent in.
std::string LocalHostName(platform::Network& network);

}  // namespace vantrel
