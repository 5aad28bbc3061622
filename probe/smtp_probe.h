// Probe address: the SMTP dialogue (HELO, MAIL FROM, RCPT TO, QUIT) that asks
// one mail host whether it would take mail for one address. No message is
// ever sent.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/network.h"

namespace vantrel {

enum ProbeResult : std::int32_t {
  kProbeAccepted = -1,
  kProbeStopped = 0,
  kProbeHostUnreachable = 1,
  kProbeSenderRefused = 2,
  kProbeRecipientRefused = 3,
};

// Shows its progress in row slot of the task list and logs each step with
// the slot index in front. The mail host is reached, and the HELO name found,
// through network, unless helo_name gives the name to say HELO with; waits
// come from Shared().waits.
std::int32_t ProbeAddress(platform::Network& network, const std::string& mail_host, const std::string& from_text,
                          const std::string& address, int slot, const std::string& helo_name = std::string());

// A reply line is positive when its first three characters read as a number
// whose integer part lies from 200 to 299.
bool IsPositiveReply(std::string_view line);

}  // namespace vantrel
