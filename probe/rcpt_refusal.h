// Reading a permanent refusal of RCPT TO for what it is about. Many mail
// servers (Postfix by default) hold back their refusals of the client, its
// HELO name and its sender until RCPT TO, so a 5xx there says nothing about
// the mailbox unless its text does: a checking computer on a blocklist must
// not cost a subscriber their place.
#pragma once

#include <string>
#include <vector>

namespace vantrel {

enum class RcptRefusal {
  kMailbox,      // the recipient itself was refused: the address is bad
  kRefusedUs,    // this computer, its HELO name or its sender was refused
  kNoRelay,      // this host does not take mail for the domain at all
  kMailboxFull,  // the mailbox exists but takes nothing now
};

// Classifies a whole 5xx reply, every line of it with its code: the first
// rule that applies, from the words of its text to its enhanced status code.
RcptRefusal ReadRcptRefusal(const std::vector<std::string>& lines);

// The reply as a message shows it: its lines without their reply codes,
// joined by one blank, cut at 200 bytes, control characters as "?".
std::string ReplyText(const std::vector<std::string>& lines);

}  // namespace vantrel
