// Probe address: the SMTP dialogue (HELO, MAIL FROM, RCPT TO, QUIT) that asks
// one mail host whether it would take mail for one address. No message is
// ever sent.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "probe/line_channel.h"
#include "dialog/main_dialog.h"

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

// What the dialogue reaches outside itself: the HELO name and the way to a
// mail host. Tests hand in their own.
struct ProbeLinks {
  std::function<std::string()> local_host_name;
  std::function<std::unique_ptr<LineChannel>(const std::string& host, const std::string& service, int wait_ms)>
      open_channel;
};
ProbeLinks PlatformProbeLinks();

std::int32_t ProbeAddress(MainDialog* dialog, const std::string& mail_host, const std::string& from_text,
                          const std::string& address, int slot, const ProbeLinks& links);

// A reply line is positive when its first three characters read as a number
// whose integer part lies from 200 to 299.
bool IsPositiveReply(std::string_view line);

}  // namespace vantrel
