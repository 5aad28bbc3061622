// Why a member list line ended the way it did: one value for each way, with
// the word the report gives it. Finer than the line's outcome (good, bad,
// try again, not checked), which each reason belongs to.
#pragma once

#include <cstdint>

#include "probe/probe_outcome.h"

namespace vantrel {

enum class LineOutcome {
  kGood,            // the address's mail server accepted the recipient
  kBad,             // refused for good, or no address in the line: removed, suspended or filed
  kTryAgain,        // no answer about the recipient this time: kept with "++"
  kSuspended,       // a "+" line, copied as it stands
  kNotAnAddress,    // a line without "@", copied as it stands
  kKeptUnchecked,   // kept unchanged without a probe (no task, or the run ended early)
};

enum class LineReason {
  kAccepted,               // the mail server accepted the recipient
  kMailbox,                // refused for good, about the recipient
  kNotAnAddress,           // "@" but no address the pattern finds
  kNullMx,                 // the domain publishes that it takes no mail
  kRefusedUs,              // refused this computer, its HELO name or its sender at RCPT TO
  kNoRelay,                // the host takes no mail for the domain
  kHostRefusedUsEarlier,   // not probed: its host refused this computer earlier
  kMailboxFull,
  kNoSuchDomain,           // the DNS server says the domain does not exist
  kNoMx,                   // no MX record
  kDnsNoAnswer,
  kDnsError,               // an error reply, or one that could not be read
  kNoHostAddress,          // the chosen mail host has no IPv4 address
  kNoConnection,
  kGreetingRefused,
  kHeloRefused,
  kSenderRefused,
  kRecipientDeferred,      // 4xx, silence or noise in answer to RCPT TO
  kTooLong,                // cannot travel whole to a task: kept unchecked
  kUnusableCharacters,     // begins with ":" or holds code 1: kept unchecked
  kSuspended,              // a "+" line
  kNotChecked,             // no "@": comments and blank lines
  kDnsGivenUp,             // kept unchecked after the DNS server stopped answering
  kNoTask,                 // kept unchecked: no task could be started
  kStopped,                // kept unchecked: the run was stopped before its verdict
};

// The report's word for a reason, such as "refused-us".
const char* ReasonName(LineReason reason);

// How the lines of a run were decided, by outcome; they add up to the
// lines read.
struct DecidedLines {
  std::int32_t good = 0;
  std::int32_t bad = 0;
  std::int32_t try_again = 0;
  std::int32_t not_checked = 0;  // comments, blank, suspended and unchanged lines
  void Add(LineOutcome outcome);
};

// The outcome every line of a reason has.
LineOutcome OutcomeOf(LineReason reason);

// The reason a probe's outcome gives its line.
LineReason ReasonForProbe(ProbeOutcome outcome);

}  // namespace vantrel
