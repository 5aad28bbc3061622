// Probe address: the SMTP dialogue (HELO, MAIL FROM, RCPT TO, QUIT) that asks
// one mail host whether it would take mail for one address. No message is
// ever sent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/network.h"
#include "probe/probe_outcome.h"

namespace vantrel {

enum ProbeResult : std::int32_t {
  kProbeAccepted = -1,          // RCPT TO answered 2xx, QUIT sent
  kProbeStopped = 0,            // the stop flag was seen
  kProbeHostUnreachable = 1,    // no connection, no or no positive greeting, HELO refused
  kProbeSenderRefused = 2,      // no address in the FROM text, MAIL FROM refused
  kProbeRecipientRefused = 3,   // RCPT TO answered 5xx, or no address in the address
  kProbeRecipientDeferred = 4,  // RCPT TO answered 4xx, or its reply never came whole
  kProbeRefusedUs = 5,          // RCPT TO answered 5xx about this computer, its HELO name or its sender
  kProbeNoRelay = 6,            // RCPT TO answered 5xx: this host takes no mail for the domain
  kProbeMailboxFull = 7,        // RCPT TO answered 5xx: the mailbox exists but is full
  kProbeHostRefusedEarlier = 8,  // not connected: this host refused this computer earlier in the run
};

// Only kProbeRecipientRefused says anything about the address itself; every
// other failure ends the dialogue before its server judged the recipient, or
// is a judgement of us.

struct ProbeDetail {
  ProbeOutcome outcome = ProbeOutcome::kStopped;
  std::string reply;  // for a refusal at RCPT TO: the reply as ReplyText gives it
};

// Shows its progress in row slot of the task list and logs each step with
// the slot index in front. The mail host is reached, and the HELO name found,
// through network, unless helo_name gives the name to say HELO with (a run
// works it out once for all its probes); waits come from Shared().waits.
// Each reply, all its lines, must come within the SMTP wait from its command
// (the greeting: from the connection's opening), and within 100 lines and
// 64 KiB; the stop flag is seen within a wait slice.
// A mail host that has refused this computer in this run is not connected
// to again (kProbeHostRefusedEarlier); a refusal of this computer at RCPT TO
// is recorded for the whole run at once, before the dialogue ends.
std::int32_t ProbeAddress(platform::Network& network, const std::string& mail_host, const std::string& from_text,
                          const std::string& address, int slot,
                          const std::optional<std::string>& helo_name = std::nullopt, ProbeDetail* detail = nullptr);

// A reply line is positive when its first three characters read as a number
// whose integer part lies from 200 to 299.
bool IsPositiveReply(std::string_view line);

}  // namespace vantrel
