#include "run/line_reason.h"

namespace vantrel {

namespace {

// Every reason and its word.
constexpr struct {
  LineReason reason;
  const char* name;
} kReasonNames[] = {
    {LineReason::kAccepted, "accepted"},
    {LineReason::kMailbox, "mailbox"},
    {LineReason::kNotAnAddress, "not-an-address"},
    {LineReason::kNullMx, "null-mx"},
    {LineReason::kRefusedUs, "refused-us"},
    {LineReason::kNoRelay, "no-relay"},
    {LineReason::kHostRefusedUsEarlier, "host-refused-us-earlier"},
    {LineReason::kMailboxFull, "mailbox-full"},
    {LineReason::kNoSuchDomain, "no-such-domain"},
    {LineReason::kNoMx, "no-mx"},
    {LineReason::kDnsNoAnswer, "dns-no-answer"},
    {LineReason::kDnsError, "dns-error"},
    {LineReason::kNoHostAddress, "no-host-address"},
    {LineReason::kNoConnection, "no-connection"},
    {LineReason::kGreetingRefused, "greeting-refused"},
    {LineReason::kHeloRefused, "helo-refused"},
    {LineReason::kSenderRefused, "sender-refused"},
    {LineReason::kRecipientDeferred, "recipient-deferred"},
    {LineReason::kTooLong, "too-long"},
    {LineReason::kUnusableCharacters, "unusable-characters"},
    {LineReason::kSuspended, "suspended"},
    {LineReason::kNotChecked, "not-checked"},
    {LineReason::kDnsGivenUp, "dns-given-up"},
    {LineReason::kNoTask, "no-task"},
    {LineReason::kStopped, "stopped"},
};

}  // namespace

const char* ReasonName(LineReason reason) {
  for (const auto& entry : kReasonNames) {
    if (entry.reason == reason) return entry.name;
  }
  return "not-checked";
}

void DecidedLines::Add(LineOutcome outcome) {
  switch (outcome) {
    case LineOutcome::kGood:
      ++good;
      break;
    case LineOutcome::kBad:
      ++bad;
      break;
    case LineOutcome::kTryAgain:
      ++try_again;
      break;
    default:
      ++not_checked;
      break;
  }
}

LineOutcome OutcomeOf(LineReason reason) {
  switch (reason) {
    case LineReason::kAccepted:
      return LineOutcome::kGood;
    case LineReason::kMailbox:
    case LineReason::kNotAnAddress:
    case LineReason::kNullMx:
      return LineOutcome::kBad;
    case LineReason::kTooLong:
    case LineReason::kUnusableCharacters:
    case LineReason::kDnsGivenUp:
    case LineReason::kNoTask:
    case LineReason::kStopped:
      return LineOutcome::kKeptUnchecked;
    case LineReason::kSuspended:
      return LineOutcome::kSuspended;
    case LineReason::kNotChecked:
      return LineOutcome::kNotAnAddress;
    default:
      return LineOutcome::kTryAgain;
  }
}

LineReason ReasonForProbe(ProbeOutcome outcome) {
  switch (outcome) {
    case ProbeOutcome::kAccepted:
      return LineReason::kAccepted;
    case ProbeOutcome::kMailbox:
      return LineReason::kMailbox;
    case ProbeOutcome::kNoRecipientAddress:
      return LineReason::kNotAnAddress;
    case ProbeOutcome::kRefusedUs:
      return LineReason::kRefusedUs;
    case ProbeOutcome::kNoRelay:
      return LineReason::kNoRelay;
    case ProbeOutcome::kMailboxFull:
      return LineReason::kMailboxFull;
    case ProbeOutcome::kHostRefusedUsEarlier:
      return LineReason::kHostRefusedUsEarlier;
    case ProbeOutcome::kGreetingRefused:
      return LineReason::kGreetingRefused;
    case ProbeOutcome::kHeloRefused:
      return LineReason::kHeloRefused;
    case ProbeOutcome::kSenderRefused:
      return LineReason::kSenderRefused;
    case ProbeOutcome::kRecipientDeferred:
      return LineReason::kRecipientDeferred;
    case ProbeOutcome::kNoConnection:
    case ProbeOutcome::kStopped:
      break;
  }
  return LineReason::kNoConnection;
}

}  // namespace vantrel
