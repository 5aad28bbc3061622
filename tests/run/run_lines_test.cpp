// Whole runs against loopback DNS and SMTP servers: what each kind of line
// and each verdict becomes, in every error mode.
#include <gtest/gtest.h>

#include <future>
#include <map>
#include <set>

#include "platform/file.h"
#include "probe/shared_state.h"
#include "tests/run/run_fixture.h"
#include "tests/support/test_network.h"

namespace vantrel::testing {
namespace {

TEST_F(RunTest, EveryKindOfLine) {
  struct Case {
    std::string name;
    std::string list;
    std::vector<std::string> result;  // sorted
    int master;
    int bad;
    std::string checked;  // the "Checked:" line
  };
  const std::vector<Case> cases = {
      {"comments and blanks", "# heading\r\n\r\nnote\r\n", {"", "# heading", "note"}, 3, 0, Checked(0, 0, 0, 3)},
      {"an address", "one@good.test\r\n", {"one@good.test"}, 1, 0, Checked(1, 0, 0, 0)},
      {"blanks around an address", "  one@good.test \r\n", {"  one@good.test "}, 1, 0, Checked(1, 0, 0, 0)},
      {"suspended lines", "+old@refused.test\r\n   +kept@good.test\r\n",
       {"   +kept@good.test", "+old@refused.test"}, 2, 0, Checked(0, 0, 0, 2)},
      {"soft DNS, found now", "++again@good.test\r\n", {"again@good.test"}, 1, 0, Checked(1, 0, 0, 0)},
      {"soft DNS, failing again", "++again@nxdomain.test\r\n", {"++again@nxdomain.test"}, 1, 1, Checked(0, 0, 1, 0)},
      {"soft DNS after blanks", "  ++x@good.test\r\n", {"++x@good.test"}, 1, 0, Checked(0, 0, 0, 1)},
      {"two at signs: the address ends at the second", "a@b@good.test\r\n", {"++a@b@good.test"}, 1, 1,
       Checked(0, 0, 1, 0)},
      {"a display name", "Anna Example <anna@good.test>\r\n", {"Anna Example <anna@good.test>"}, 1, 0,
       Checked(1, 0, 0, 0)},
      {"a comment after the address", "anna@good.test (Anna)\r\n", {"anna@good.test (Anna)"}, 1, 0,
       Checked(1, 0, 0, 0)},
      {"a final dot after the domain", "anna@good.test.\r\n", {"anna@good.test."}, 1, 0, Checked(1, 0, 0, 0)},
      {"a null MX: bad without a connection", "x@nullmx.test\r\n", {"+x@nullmx.test"}, 1, 1, Checked(0, 1, 0, 0)},
      {"bad address, suspended", " bad@refused.test\r\n", {"+bad@refused.test"}, 1, 1, Checked(0, 1, 0, 0)},
      {"Ctrl-Z as the last byte ends the list", "a@good.test\r\n\x1a", {"a@good.test"}, 1, 0, Checked(1, 0, 0, 0)},
      {"LF-only list", "x@nomx.test\ny@good.test\n", {"++x@nomx.test", "y@good.test"}, 2, 1, Checked(1, 0, 1, 0)},
      {"a lone LF in a CR LF list", "# a\nb\r\ny@good.test\r\n", {"# a\nb", "y@good.test"}, 2, 0,
       Checked(1, 0, 0, 1)},
      {"last line without an end", "# top\r\none@good.test", {"# top", "one@good.test"}, 2, 0, Checked(1, 0, 0, 1)},
  };
  DnsAnswer null_mx;
  null_mx.mx = {{0, ""}};
  Answer("nullmx.test", null_mx);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile("MEMBERS.LST", c.list);
    ASSERT_EQ(Run(kSuspendButton), RunEnd::kCompleted);
    EXPECT_EQ(Sorted(CrLfLines(ReadFile("MEMBERS.LST.OK"))), c.result);
    EXPECT_EQ(LastResults(), Results(c.master, c.bad) + c.checked);
  }
  EXPECT_FALSE(FileExists("MEMBERS.LST.BAD"));
  // The domain looked up is that of the address the probe uses.
  std::vector<std::string> asked = DnsQueries();
  EXPECT_NE(std::find(asked.begin(), asked.end(), "b"), asked.end());
  EXPECT_EQ(std::count(asked.begin(), asked.end(), "refused.test"), 1) << "suspended lines are never looked up";
  for (const std::string& domain : asked) EXPECT_EQ(domain.find_first_of(" .>)", domain.size() - 1), std::string::npos);
  EXPECT_EQ(LogLinesStartingWith("0 !I think this is a bad address: 500 Domain nullmx.test"),
            std::vector<std::string>{
                "0 !I think this is a bad address: 500 Domain nullmx.test accepts no mail (null MX) x@nullmx.test"});
}

// Only a refusal by the recipient's own server makes an address bad; a
// dialogue that ended without an answer about it, like a failed lookup,
// keeps the line for the next run whatever the mode.
TEST_F(RunTest, EveryErrorModeWithEveryVerdict) {
  const std::string refused = "500 Remote server (" + Host(kRcptRefused) +
                              ") does not accept mail to \"bad@refused.test\"";
  const std::string down = "400 Remote SMTP server (" + Host(kNobody) + ") unreachable.";
  struct Case {
    int mode;
    std::string line;
    std::vector<std::string> result;
    std::vector<std::string> bad_file;  // what this run adds
    int bad;
  };
  std::vector<Case> cases;
  for (int mode : {kRemoveButton, kSuspendButton, kWriteToFileButton}) {
    Case bad{mode, " bad@refused.test", {}, {}, 1};
    if (mode == kSuspendButton) bad.result = {"+bad@refused.test"};
    if (mode == kWriteToFileButton) bad.bad_file = {"## " + refused + "  bad@refused.test", " bad@refused.test"};
    cases.push_back(bad);
    cases.push_back({mode, "good@good.test", {"good@good.test"}, {}, 0});
    cases.push_back({mode, " gone@down.test", {"++ gone@down.test"}, {}, 1});
    for (const char* failing : {"x@nxdomain.test", "x@silent.test", "x@nomx.test"}) {
      cases.push_back({mode, failing, {std::string("++") + failing}, {}, 1});
    }
  }
  std::size_t bad_file_lines = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.mode) + " " + c.line);
    WriteFile("MEMBERS.LST", c.line + "\r\n");
    ASSERT_EQ(Run(c.mode), RunEnd::kCompleted);
    EXPECT_EQ(CrLfLines(ReadFile("MEMBERS.LST.OK")), c.result);
    std::vector<std::string> bad_file = CrLfLines(ReadFile("MEMBERS.LST.BAD"));
    ASSERT_EQ(bad_file.size(), bad_file_lines + c.bad_file.size());
    EXPECT_EQ(std::vector<std::string>(bad_file.begin() + static_cast<long>(bad_file_lines), bad_file.end()),
              c.bad_file);
    bad_file_lines = bad_file.size();
    const bool kept = !c.result.empty() && c.result[0].rfind("++", 0) == 0;
    const std::string checked = c.bad == 0 ? Checked(1, 0, 0, 0) : kept ? Checked(0, 0, 1, 0) : Checked(0, 1, 0, 0);
    EXPECT_EQ(LastResults().rfind(Results(1, c.bad) + checked, 0), 0u) << LastResults();
  }
  EXPECT_EQ(LogLinesStartingWith("0 !I think this is a bad address: "),
            std::vector<std::string>(3, "0 !I think this is a bad address: " + refused + "  bad@refused.test"));
  EXPECT_EQ(LogLinesStartingWith("0 !Could not check this address now, keeping it to try again next run: "),
            std::vector<std::string>(
                3, "0 !Could not check this address now, keeping it to try again next run: " + down + "  gone@down.test"));
  EXPECT_EQ(LogLinesStartingWith("0 Could not find MX server for x@nomx.test").size(), 3u);
}

// A mail server that turns this computer away says nothing of its
// subscribers: none is removed, suspended or filed in any mode, and after
// the first refusal its host gets no further connection in the run.
TEST_F(RunTest, ARefusalOfThisComputerCostsNoSubscriber) {
  Shared().waits.dns_wait_ms = 20000;
  // Later lines resolve to the same host only once the refusal is in, so
  // the run cannot have handed them out before.
  DnsAnswer after_refusal;
  after_refusal.mx = {{10, Host(kBlocklisted)}};
  after_refusal.answer_once = [] { return HostRefusedUs(Host(kBlocklisted)); };
  Answer("later.test", after_refusal);
  const std::string list = "a@blocked.test\r\nb@later.test\r\n c@later.test\r\nd@good.test\r\n";
  const std::vector<std::string> reasons = {"refused-us", "host-refused-us-earlier", "host-refused-us-earlier",
                                            "accepted"};
  for (int mode : {kRemoveButton, kSuspendButton, kWriteToFileButton}) {
    SCOPED_TRACE(mode);
    const int connections_before = Connections(kBlocklisted);
    WriteFile("MEMBERS.LST", list);
    RecordingObserver observer;
    options_.observer = &observer;
    ASSERT_EQ(Run(mode), RunEnd::kCompleted);
    options_.observer = nullptr;
    EXPECT_EQ(Sorted(CrLfLines(ReadFile("MEMBERS.LST.OK"))),
              (std::vector<std::string>{"++ c@later.test", "++a@blocked.test", "++b@later.test", "d@good.test"}));
    EXPECT_EQ(Connections(kBlocklisted), connections_before + 1);
    ASSERT_EQ(observer.decisions.size(), reasons.size());
    for (const LineDecision& decision : observer.decisions) {
      EXPECT_EQ(ReasonName(decision.reason), reasons[static_cast<std::size_t>(decision.line_number - 1)]);
    }
    const std::string results = LastResults();
    EXPECT_EQ(results.rfind(Results(4, 3), 0), 0u) << results;
    EXPECT_NE(results.find("\r\n\r\nWARNING: 3 addresses could not be checked because their mail servers refused "
                           "this computer, its HELO name or its sender. The first refusal came from " +
                           Host(kBlocklisted) +
                           ": 5.7.1 Service unavailable; Client host [192.0.2.1] blocked using zone.test. They were "
                           "kept with \"++\" to be tried again. Check the FROM address, the HELO name and whether "
                           "this computer's address is on a blocklist."),
              std::string::npos)
        << results;
  }
  EXPECT_FALSE(FileExists("MEMBERS.LST.BAD"));
  const std::string log = ReadFile("vantrel.log");
  const std::string not_checked = " !Not checked: its mail server (" + Host(kBlocklisted) +
                                  ") refused this computer earlier in this run. Keeping it to try again next run: ";
  std::size_t skipped = 0;
  for (std::size_t at = log.find(not_checked); at != std::string::npos; at = log.find(not_checked, at + 1)) ++skipped;
  EXPECT_EQ(skipped, 6u);  // b and c, in each mode
  EXPECT_EQ(log.find("bad address"), std::string::npos);
}

// The accept-all check: one more probe per domain with a good address, at
// an address that cannot exist; it marks the good lines in the report and
// the Results, and changes no verdict and no line of the result list.
TEST_F(RunTest, TheAcceptAllCheckMarksGoodLinesAndChangesNothingElse) {
  // strict.test's server knows its mailboxes and refuses every other one.
  constexpr int kStrict = 11;
  LoopbackTcpServer strict(Host(kStrict), 25, [](ServerConnection& connection) {
    connection.Send("220 strict\r\n");
    for (std::string line; connection.ReadLine(&line);) {
      if (line.rfind("RCPT", 0) != 0) {
        connection.Send("250 ok\r\n");
      } else {
        connection.Send(line.find("<known") != std::string::npos ? "250 ok\r\n" : "550 5.1.1 User unknown\r\n");
      }
    }
  });
  ASSERT_TRUE(strict.listening());
  AnswerMx("strict.test", kStrict);
  const std::vector<std::string> lines = {"a@good.test", "b@good.test", "known1@strict.test", "known2@strict.test",
                                          "nobody@strict.test", "# note", "x@nomx.test"};
  std::string list;
  for (const std::string& line : lines) list += line + "\r\n";
  WriteFile("MEMBERS.LST", list);
  const std::map<std::string, std::string> accept_all = {
      {"a@good.test", "yes"}, {"b@good.test", "yes"}, {"known1@strict.test", "no"}, {"known2@strict.test", "no"}};
  std::vector<std::string> result_lists;
  for (bool check : {false, true}) {
    SCOPED_TRACE(check);
    const int good_before = Connections(kGoodHost);
    const int strict_before = strict.Connections();
    RecordingObserver observer;
    options_.observer = &observer;
    options_.accept_all_check = check;
    ASSERT_EQ(Run(kRemoveButton), RunEnd::kCompleted);
    options_.observer = nullptr;
    options_.accept_all_check = false;
    result_lists.push_back(ReadFile("MEMBERS.LST.OK"));
    EXPECT_EQ(Connections(kGoodHost) - good_before, 2 + (check ? 1 : 0));
    EXPECT_EQ(strict.Connections() - strict_before, 3 + (check ? 1 : 0));
    ASSERT_EQ(observer.decisions.size(), lines.size());
    for (const LineDecision& decision : observer.decisions) {
      auto marked = accept_all.find(decision.line);
      EXPECT_EQ(decision.accept_all, check && marked != accept_all.end() ? marked->second : "") << decision.line;
    }
    const std::string note = "\r\n\r\nNOTE: 2 good addresses are at domains whose mail servers accept any "
                             "address, so their \"good\" says little. The report lists them.";
    EXPECT_EQ(LastResults().find(note) != std::string::npos, check) << LastResults();
    EXPECT_EQ(LastResults().rfind(Results(7, 2) + Checked(4, 1, 1, 1), 0), 0u) << LastResults();
  }
  EXPECT_EQ(Sorted(CrLfLines(result_lists[0])), Sorted(CrLfLines(result_lists[1])));
}

TEST_F(RunTest, PreferredMailExchanger) {
  struct Case {
    std::vector<std::pair<std::uint16_t, int>> records;  // preference, host
    int chosen;
  };
  const std::vector<Case> cases = {
      {{{20, kRcptRefused}, {10, kGoodHost}}, kGoodHost},
      {{{300, kGoodHost}, {20, kRcptRefused}}, kRcptRefused},
      {{{10, kRcptRefused}, {10, kGoodHost}}, kGoodHost},
      {{{10, kGoodHost}, {10, kRcptRefused}}, kGoodHost},
  };
  for (const Case& c : cases) {
    DnsAnswer answer;
    for (const auto& [preference, host] : c.records) answer.mx.emplace_back(preference, Host(host));
    Answer("choice.test", answer);
    WriteFile("MEMBERS.LST", "someone@choice.test\r\n");
    ASSERT_EQ(Run(kSuspendButton), RunEnd::kCompleted);
    std::vector<std::string> found = LogLinesStartingWith("0 Found MX server (");
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found.back(), "0 Found MX server (" + Host(c.chosen) + ") for choice.test");
    EXPECT_EQ(LastResults(), Results(1, c.chosen == kGoodHost ? 0 : 1) +
                                 (c.chosen == kGoodHost ? Checked(1, 0, 0, 0) : Checked(0, 1, 0, 0)));
  }
}

// Nothing can be said about a line no task can take whole: it is kept as it
// stands, like a line that is not an address, and blames nobody.
TEST_F(RunTest, AddressesThatCannotBeHandedToATask) {
  const std::string long_address = std::string(241 - 10, 'l') + "@good.test";
  struct Case {
    std::string line;
    std::string log;
  };
  const std::vector<Case> cases = {
      {long_address, "0 Address too long to check. Keeping it unchecked."},
      {"++" + long_address, "0 Address too long to check. Keeping it unchecked."},
      {":colon@good.test", "0 Address begins with a colon. Keeping it unchecked."},
      {"a\x01" "b@good.test", "0 Address holds a control character. Keeping it unchecked."},
  };
  for (const Case& c : cases) {
    for (int mode : {kRemoveButton, kSuspendButton, kWriteToFileButton}) {
      WriteFile("MEMBERS.LST", c.line + "\r\n");
      ASSERT_EQ(Run(mode), RunEnd::kCompleted);
      EXPECT_EQ(CrLfLines(ReadFile("MEMBERS.LST.OK")), std::vector<std::string>{c.line});
      EXPECT_EQ(LastResults(), Results(1, 0) + Checked(0, 0, 0, 1));
      std::vector<std::string> log = LogLinesStartingWith("0 ");
      ASSERT_FALSE(log.empty());
      EXPECT_EQ(log.back(), c.log);
    }
  }
  EXPECT_TRUE(DnsQueries().empty());
  EXPECT_FALSE(FileExists("MEMBERS.LST.BAD"));
  // One character shorter still fits a slot whole and is probed.
  WriteFile("MEMBERS.LST", long_address.substr(1) + "\r\n");
  ASSERT_EQ(Run(kSuspendButton), RunEnd::kCompleted);
  EXPECT_EQ(CrLfLines(ReadFile("MEMBERS.LST.OK")), std::vector<std::string>{long_address.substr(1)});
}

}  // namespace
}  // namespace vantrel::testing
