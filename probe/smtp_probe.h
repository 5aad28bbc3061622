// Probe address: the SMTP dialogue (HELO, MAIL FROM, RCPT TO, QUIT) that asks
// one mail host whether it would take mail for one address. No message is
// ever sent.
#pragma once

#include <cstdint>
#include <string>

#include "shell/main_dialog.h"

namespace vantrel {

enum ProbeResult : std::int32_t {
  kProbeAccepted = -1,
  kProbeStopped = 0,
  kProbeHostUnreachable = 1,
  kProbeSenderRefused = 2,
  kProbeRecipientRefused = 3,
};

// Shows its progress in row slot of the task list and logs each step with
// the slot index in front. Waits come from Shared().waits.
std::int32_t ProbeAddress(MainDialog* dialog, const std::string& mail_host, const std::string& from_text,
                          const std::string& address, int slot);

}  // namespace vantrel
