#include "probe/rcpt_refusal.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

// Real refusals of RCPT TO, each with the server that words it so and what
// it is about; the first rule that applies decides.
TEST(ReadRcptRefusal, EachRefusalIsReadForWhatItIsAbout) {
  using R = RcptRefusal;
  const struct {
    const char* server;
    std::vector<std::string> reply;
    RcptRefusal expected;
  } cases[] = {
      // The client, its HELO name or its sender, as Postfix names them.
      {"Postfix reject_rbl_client", {"554 5.7.1 Service unavailable; Client host [192.0.2.1] blocked using zen.example.org"}, R::kRefusedUs},
      {"Postfix reject_unknown_client", {"450 4.7.1 Client host rejected: cannot find your hostname"}, R::kRefusedUs},
      {"Postfix reject_non_fqdn_helo_hostname", {"504 5.5.2 <localhost>: Helo command rejected: need fully-qualified hostname"}, R::kRefusedUs},
      {"Postfix check_sender_access", {"553 5.7.1 <lists@example.org>: Sender address rejected: not owned by user"}, R::kRefusedUs},
      // The recipient.
      {"Postfix local table", {"550 5.1.1 <a@x>: Recipient address rejected: User unknown in local recipient table"}, R::kMailbox},
      {"Postfix relay table: about the mailbox, though it says relay", {"550 5.1.1 <a@x>: Recipient address rejected: User unknown in relay recipient table"}, R::kMailbox},
      {"Exchange unknown recipient", {"550 5.4.1 Recipient address rejected: Access denied"}, R::kMailbox},
      {"Sendmail", {"550 5.1.1 <a@x>... User unknown"}, R::kMailbox},
      {"Exim", {"550 Unknown user"}, R::kMailbox},
      {"plain", {"550 No such user here"}, R::kMailbox},
      {"Gmail, three lines", {"550-5.1.1 The email account that you tried to reach does not exist. Please try", "550-5.1.1 double-checking the recipient's email address for typos or", "550 5.1.1  https://support.example.com/mail/?p=NoSuchUser"}, R::kMailbox},
      {"Courier", {"550 Invalid recipient <a@x>"}, R::kMailbox},
      {"Office 365", {"550 5.1.10 RESOLVER.ADR.RecipientNotFound; Recipient not found by SMTP address lookup"}, R::kMailbox},
      {"qmail-ldap", {"550 Requested action not taken: mailbox unavailable"}, R::kMailbox},
      {"Exim unrouteable", {"550 Unrouteable address"}, R::kMailbox},
      // Relaying.
      {"Postfix", {"554 5.7.1 <anna@example.org>: Relay access denied"}, R::kNoRelay},
      {"Exim", {"550 relay not permitted"}, R::kNoRelay},
      {"Sendmail", {"550 5.7.1 <a@x>... Relaying denied"}, R::kNoRelay},
      {"Exchange", {"550 5.7.54 SMTP; Unable to relay recipient in non-accepted domain"}, R::kNoRelay},
      // Blocklists, bans, rates, reputation.
      {"Office 365 ban", {"550 5.7.606 Access denied, banned sending IP [192.0.2.1]."}, R::kRefusedUs},
      {"Exim blocklist without a code", {"550 Rejected because 192.0.2.1 is listed at zen.example.org"}, R::kRefusedUs},
      {"a DNSBL in the plural, no code", {"554 Your address was found on one or more DNSBLs"}, R::kRefusedUs},
      {"dynamic ranges, no code", {"550 Dynamic IP Addresses not accepted"}, R::kRefusedUs},
      {"blocklist", {"554 Sending address on our blocklist"}, R::kRefusedUs},
      {"block list", {"554 on our block list"}, R::kRefusedUs},
      {"blacklist", {"554 Sender on our blacklist"}, R::kRefusedUs},
      {"blacklisted", {"554 Blacklisted by policy"}, R::kRefusedUs},
      {"black list", {"554 You are on a black list"}, R::kRefusedUs},
      {"RBL", {"554 Refused by RBL"}, R::kRefusedUs},
      {"listed in", {"550 Your IP is listed in SORBS"}, R::kRefusedUs},
      {"spam", {"550 Message refused as spam"}, R::kRefusedUs},
      {"rate limit", {"550 Rate limit exceeded for your IP"}, R::kRefusedUs},
      {"Gmail rate", {"550-5.7.28 Our system has detected an unusual rate of", "550 5.7.28 unsolicited mail originating from your IP address."}, R::kRefusedUs},
      {"reputation", {"550 Poor sender reputation"}, R::kRefusedUs},
      {"not authenticated", {"550 Client not authenticated"}, R::kRefusedUs},
      {"reverse DNS", {"550 No reverse DNS for your address"}, R::kRefusedUs},
      {"PTR", {"550 Missing PTR record"}, R::kRefusedUs},
      {"EHLO", {"550 Bad EHLO name"}, R::kRefusedUs},
      // Enhanced status codes, when the words say nothing.
      {"full mailbox", {"552 5.2.2 Mailbox full"}, R::kMailboxFull},
      {"disabled account", {"550 5.2.1 The account anna@example.org is disabled"}, R::kMailbox},
      {"5.1.x", {"550 5.1.2 Bad destination system"}, R::kMailbox},
      {"5.3.x", {"554 5.3.4 Message too big"}, R::kRefusedUs},
      {"5.5.x", {"501 5.5.4 Syntax"}, R::kRefusedUs},
      {"5.7.x policy", {"550 5.7.1 Policy rejection"}, R::kRefusedUs},
      {"qmail's code at the end", {"553 sorry, that domain isn't in my list of allowed rcpthosts (#5.7.1)"}, R::kRefusedUs},
      {"no code, no words", {"550 Go away"}, R::kMailbox},
      {"a code that is no enhanced code", {"550 5.7 nothing"}, R::kMailbox},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadRcptRefusal(c.reply), c.expected) << c.server << ": " << c.reply.front();
  }
}

TEST(ReplyText, LinesWithoutCodesJoinedCutAndMadeSafe) {
  EXPECT_EQ(ReplyText({"550-5.1.1 first", "550 5.1.1 second"}), "5.1.1 first 5.1.1 second");
  EXPECT_EQ(ReplyText({"554 ring\x07" "bell\x1b[31m"}), "ring?bell?[31m");
  EXPECT_EQ(ReplyText({"550 " + std::string(300, 'x')}), std::string(200, 'x'));
  EXPECT_EQ(ReplyText({"no code here"}), "no code here");
}

}  // namespace
}  // namespace vantrel
