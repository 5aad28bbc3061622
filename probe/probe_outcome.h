// How one probe ended, finer than the probe result that decides its
// verdict: what the run tells about each line in its log and report.
#pragma once

namespace vantrel {

enum class ProbeOutcome {
  kAccepted,
  kStopped,
  kNoConnection,
  kGreetingRefused,
  kHeloRefused,
  kSenderRefused,        // MAIL FROM refused, or no address in the FROM text
  kNoRecipientAddress,   // the tested text holds no address
  kMailbox,              // the recipient refused for good
  kRecipientDeferred,    // 4xx, silence or noise in answer to RCPT TO
  kRefusedUs,
  kNoRelay,
  kMailboxFull,
  kHostRefusedUsEarlier,
};

}  // namespace vantrel
