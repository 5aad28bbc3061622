// Whole runs against loopback DNS and SMTP servers.
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

// The counting lines; a run's text goes on with its "Checked:" line.
std::string Results(int master, int bad) {
  return "I think everything is done.\r\n\r\nAddresses in master list: " + std::to_string(master) +
         "\r\nBad addresses found: " + std::to_string(bad) + "\r\nGood addresses: " + std::to_string(master - bad);
}

std::string Checked(int good, int bad, int try_again, int not_checked) {
  return "\r\nChecked: " + std::to_string(good) + " good, " + std::to_string(bad) + " bad, " +
         std::to_string(try_again) + " to try again. Not checked: " + std::to_string(not_checked) +
         " (comments, blank lines, suspended lines and lines kept unchanged).";
}

std::string Host(int n) { return LoopbackAddress(n); }

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

TEST_F(RunTest, TwoRunsGrowTheLogAndTheBadAddressFile) {
  WriteFile("LIST.", "bad@refused.test\r\ngood@good.test\r\n");
  for (int run = 0; run < 2; ++run) {
    ASSERT_EQ(Run(kWriteToFileButton, "LIST."), RunEnd::kCompleted);
    EXPECT_EQ(CrLfLines(ReadFile("LIST.OK")), std::vector<std::string>{"good@good.test"});
  }
  std::vector<std::string> bad = CrLfLines(ReadFile("LIST.BAD"));
  ASSERT_EQ(bad.size(), 4u);
  EXPECT_EQ(bad[0], bad[2]);
  EXPECT_EQ(bad[1], "bad@refused.test");
  EXPECT_EQ(bad[3], "bad@refused.test");

  std::vector<std::string> log = CrLfLines(ReadFile("vantrel.log"));
  std::vector<std::size_t> headers;
  for (std::size_t i = 0; i < log.size(); ++i) {
    if (log[i] == std::string(80, '=')) headers.push_back(i);
  }
  ASSERT_EQ(headers.size(), 2u);
  for (std::size_t h : headers) {
    ASSERT_LT(h + 2, log.size());
    const std::string& stamp = log[h + 1];
    ASSERT_EQ(stamp.size(), 19u) << stamp;
    EXPECT_EQ(stamp[2], '-');
    EXPECT_EQ(stamp[5], '-');
    EXPECT_EQ(stamp[10], ' ');
    EXPECT_EQ(stamp[13], ':');
    EXPECT_EQ(log[h + 2], "0 File Input: bad@refused.test");
  }
}

TEST_F(RunTest, ControllerLogLinesOfOneAddressInOrder) {
  WriteFile("MEMBERS.LST", "# list\r\none@good.test\r\n");
  ASSERT_EQ(Run(kRemoveButton), RunEnd::kCompleted);
  std::vector<std::string> expected = {
      "0 File Input: # list",
      "0 Not an email address. No @ sign.",
      "0 File Input: one@good.test",
      "0 Found MX server (" + Host(kGoodHost) + ") for good.test",
      "0 ?Verified as good: one@good.test",
  };
  std::vector<std::string> log = CrLfLines(ReadFile("vantrel.log"));
  auto at = log.begin();
  for (const std::string& line : expected) {
    at = std::find(at, log.end(), line);
    ASSERT_NE(at, log.end()) << "missing or out of order: " << line;
  }
  EXPECT_EQ(dialog_.TaskCell(0, kActivityColumn), "Idle");
  EXPECT_EQ(dialog_.TaskCell(0, kTaskColumn), "");
  for (int row = 1; row < kTaskSlots; ++row) {
    EXPECT_EQ(dialog_.TaskCell(row, kTaskColumn), "") << row;
    EXPECT_EQ(dialog_.TaskCell(row, kActivityColumn), "") << row;
  }
}

TEST_F(RunTest, EmptyListEndsWithZeroCountsAndControlsBack) {
  WriteFile("MEMBERS.LST", "");
  ASSERT_EQ(Run(kRemoveButton), RunEnd::kCompleted);
  EXPECT_EQ(LastResults(), Results(0, 0) + Checked(0, 0, 0, 0));
  EXPECT_TRUE(FileExists("MEMBERS.LST.OK"));
  EXPECT_EQ(ReadFile("MEMBERS.LST.OK"), "");
  EXPECT_EQ(dialog_.StatusText(), "Status: Idle");
  const std::vector<int> order = {kFromBox,      kInputListBox,  kBrowseButton,      kDnsServerControl,
                                  kBodyCheckBox, kRemoveButton,  kSuspendButton,     kWriteToFileButton,
                                  kGoButton,     kAboutButton};
  std::vector<std::pair<int, bool>> calls = dialog_.EnableCalls();
  ASSERT_EQ(calls.size(), 2 * order.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(calls[i], std::make_pair(order[i], false));
    EXPECT_EQ(calls[order.size() + i], std::make_pair(order[i], true));
  }
  EXPECT_TRUE(DnsQueries().empty());
}

// A run that cannot start disables nothing and writes nothing.
TEST_F(RunTest, RefusedRunsStartNothing) {
  WriteFile("HELD.LST", "one@good.test\r\n");
  WriteFile("MEMBERS.LST", "one@good.test\r\n");
  auto held = platform::RealFileSystem().OpenRead("HELD.LST");
  ASSERT_NE(held, nullptr);
  // Proxies checked before anything else happens: one refuses our credentials.
  LoopbackTcpServer proxy(Host(30), 1080, [](ServerConnection& peer) {
    peer.Send(std::string("\x05\x02\x01\x01", 4));
    peer.DrainUntilClosed();
  });
  ASSERT_TRUE(proxy.listening());
  const std::string dead = Host(31) + ":1080";
  struct Case {
    std::string list;
    std::string from;
    std::string box_begins;
    std::string proxy = "";
  };
  const std::vector<Case> cases = {
      {"NOPE.LST", "<checker@good.test>",
       "File not found.\r\n\r\nNOPE.LST\r\n\r\nClick the [...] button to\r\nbrowse for the input file."},
      {"HELD.LST", "<checker@good.test>", "Cannot open the input file.\r\n\r\nHELD.LST\r\n"},
      {"MEMBERS.LST", "", "The FROM text holds no e-mail address:\r\n\r\n\r\n"},
      {"MEMBERS.LST", "List owner <owner at example.com>",
       "The FROM text holds no e-mail address:\r\n\r\nList owner <owner at example.com>\r\n"},
      {"MEMBERS.LST", "<@>", "The FROM text holds no e-mail address:\r\n\r\n<@>\r\n"},
      {"MEMBERS.LST", "<checker@good.test>",
       "Cannot use the SOCKS5 proxy.\r\n\r\n" + dead + "\r\n\r\nNo connection to the proxy.", "socks5://" + dead},
      {"MEMBERS.LST", "<checker@good.test>",
       "Cannot use the SOCKS5 proxy.\r\n\r\n" + Host(30) + ":1080\r\n\r\nThe proxy refused the user name or password.",
       "socks5://me:secret@" + Host(30) + ":1080"},
      {"MEMBERS.LST", "<checker@good.test>", "The PROXY= line of Vantrel.INI cannot be used:\r\n\r\nonly socks5://",
       "socks4://me:secret@h:1080"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list + " " + c.from + " " + c.proxy);
    dialog_.SetText(kFromBox, c.from);
    dialog_.SetText(kProxySetting, c.proxy);
    ASSERT_EQ(Run(kRemoveButton, c.list), RunEnd::kRefused);
    std::vector<FakeMainDialog::MessageBox> boxes = dialog_.MessageBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text.rfind(c.box_begins, 0), 0u) << boxes.back().text;
    EXPECT_EQ(boxes.back().text.find("secret"), std::string::npos);
    EXPECT_EQ(boxes.back().caption, "Error");
    EXPECT_EQ(boxes.back().icon, MessageIcon::kStop);
  }
  EXPECT_TRUE(dialog_.EnableCalls().empty());
  EXPECT_FALSE(FileExists("vantrel.log"));
  for (const char* name : {"NOPE.LST.OK", "HELD.LST.OK", "MEMBERS.LST.OK"}) EXPECT_FALSE(FileExists(name)) << name;
  EXPECT_EQ(Shared().running_tasks.load(), 0);
  EXPECT_TRUE(DnsQueries().empty());
}

TEST_F(RunTest, UnwritableResultListIsNotReportedAsSuccess) {
  WriteFile("MEMBERS.LST", "one@good.test\r\n");
  WriteFile("MEMBERS.LST.OK", "previous\r\n");
  auto held = platform::RealFileSystem().OpenAppend("MEMBERS.LST.OK");
  ASSERT_NE(held, nullptr);
  ASSERT_EQ(Run(kRemoveButton), RunEnd::kCompleted);
  std::string text = LastResults();
  EXPECT_EQ(text.rfind(Results(1, 0), 0), 0u) << text;
  EXPECT_NE(text.find("WARNING: Not every line could be written to MEMBERS.LST.OK"), std::string::npos) << text;
  EXPECT_EQ(ReadFile("MEMBERS.LST.OK"), "previous\r\n");
}

TEST_F(RunTest, UnwritableBadAddressFileKeepsTheAddress) {
  WriteFile("MEMBERS.LST", "bad@refused.test\r\n");
  WriteFile("MEMBERS.LST.BAD", "");
  auto held = platform::RealFileSystem().OpenAppend("MEMBERS.LST.BAD");
  ASSERT_NE(held, nullptr);
  ASSERT_EQ(Run(kWriteToFileButton), RunEnd::kCompleted);
  EXPECT_EQ(CrLfLines(ReadFile("MEMBERS.LST.OK")), std::vector<std::string>{"bad@refused.test"});
  EXPECT_NE(LastResults().find("WARNING: Some bad addresses could not be written to MEMBERS.LST.BAD"),
            std::string::npos);
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

TEST_F(RunTest, StopFlagEndsTheRunAtOnce) {
  std::string list;
  for (int i = 0; i < 40; ++i) list += "u" + std::to_string(i) + "@good.test\r\n";
  WriteFile("MEMBERS.LST", list);
  std::atomic<int> messages{0};
  dialog_.OnProcessMessage([&] {
    if (++messages == 15) Shared().stop_flag = -1;  // the window is being destroyed
  });
  ASSERT_EQ(Run(kRemoveButton), RunEnd::kStopped);
  dialog_.OnProcessMessage(nullptr);
  EXPECT_EQ(LastResults(), "");
  EXPECT_FALSE(dialog_.IsEnabled(kGoButton));
  EXPECT_FALSE(dialog_.IsEnabled(kFromBox));
  EXPECT_TRUE(dialog_.WaitFor("every task to see the stop flag and end",
                              [] { return Shared().running_tasks.load() == 0; }, 20000));
}

// Tasks give up after a short idle limit while the run waits on silent
// lookups; every line must still reach a probe or the result list.
TEST_F(RunTest, TasksEndedByTheirIdleLimitLoseNoLine) {
  Shared().waits.idle_limit_polls = 1;
  std::string list;
  std::vector<std::string> expected;
  for (int i = 0; i < 4; ++i) {
    list += "s" + std::to_string(i) + "@silent.test\r\n";
    expected.push_back("++s" + std::to_string(i) + "@silent.test");
  }
  for (int i = 0; i < 14; ++i) {
    list += "g" + std::to_string(i) + "@good.test\r\n";
    expected.push_back("g" + std::to_string(i) + "@good.test");
    if (i % 5 == 0) {
      list += "b" + std::to_string(i) + "@refused.test\r\n";
      expected.push_back("+b" + std::to_string(i) + "@refused.test");
      list += "t" + std::to_string(i) + "@silent.test\r\n";
      expected.push_back("++t" + std::to_string(i) + "@silent.test");
    }
  }
  WriteFile("MEMBERS.LST", list);
  ASSERT_EQ(Run(kSuspendButton), RunEnd::kCompleted);
  EXPECT_EQ(Sorted(CrLfLines(ReadFile("MEMBERS.LST.OK"))), Sorted(expected));
  EXPECT_EQ(LastResults(), Results(static_cast<int>(expected.size()), 4 + 3 + 3) + Checked(14, 3, 7, 0));
}

// Every line of a long mixed list is decided once, and where it ends agrees
// with the decision: in the result list, in the bad-address file, or as a
// logged removal. A line nobody answered about is never removed or suspended.
// A run stopped anywhere (the window closed) puts every line it had not
// decided back into the result list as read, whether the exit sequence asks
// for it or the run sees the stop flag first.
TEST_F(RunTest, EveryLineIsAccountedForOnce) {
  std::vector<std::string> lines;
  const std::vector<std::string> domains = {"good.test", "refused.test", "down.test",
                                            "grey.test", "nxdomain.test", "nomx.test"};
  for (int i = 0; i < 160; ++i) {
    std::string id = std::to_string(i);
    const std::string& domain = domains[static_cast<std::size_t>(i) % domains.size()];
    switch (i % 8) {
      case 0: lines.push_back("note " + id); break;
      case 1: lines.push_back("+s" + id + "@" + domain); break;
      case 2: lines.push_back("++d" + id + "@" + domain); break;
      default: lines.push_back(" a" + id + "@" + domain); break;
    }
  }
  const std::map<std::string, LineOutcome> settled = {
      {"good.test", LineOutcome::kGood},        {"refused.test", LineOutcome::kBad},
      {"down.test", LineOutcome::kTryAgain},    {"nxdomain.test", LineOutcome::kTryAgain},
      {"nomx.test", LineOutcome::kTryAgain},
  };
  std::string list;
  for (const std::string& line : lines) list += line + "\r\n";
  WriteFile("MEMBERS.LST", list);
  // The HELO name is looked up once a run, not once a probe. A stop may
  // leave that lookup running past the test, so what it uses lives on.
  static std::atomic<int> name_lookups{0};
  static TestNetwork& network = *new TestNetwork;
  network.first_local_address = [](std::uint32_t* address) {
    ++name_lookups;
    *address = 0;
    return true;
  };
  network.host_name = [] { return std::string("checker.example"); };
  network_ = &network;

  struct Stop {
    std::int64_t after_lines;  // -1: no stop; 0: during the task starts
    bool by_exit_sequence;
  };
  for (int mode : {kRemoveButton, kSuspendButton, kWriteToFileButton})
  for (const Stop& stop : {Stop{-1, false}, Stop{0, true}, Stop{80, false}, Stop{157, true}}) {
    SCOPED_TRACE(std::to_string(mode) + ", stop after line " + std::to_string(stop.after_lines));
    ::remove("MEMBERS.LST.BAD");
    ::remove("vantrel.log");
    RecordingObserver observer;
    options_.observer = &observer;
    name_lookups = 0;
    auto lines_read = [&] { return observer.progress_reports.empty() ? 0 : observer.progress_reports.back().lines_read; };
    dialog_.OnProcessMessage([&] {
      if (stop.after_lines < 0 || Shared().stop_flag.load() != 0 || lines_read() < stop.after_lines) return;
      Shared().stop_flag = -1;
      if (stop.by_exit_sequence) SaveStoppedRun();
    });
    ASSERT_EQ(Run(mode), stop.after_lines < 0 ? RunEnd::kCompleted : RunEnd::kStopped);
    dialog_.OnProcessMessage(nullptr);
    options_.observer = nullptr;
    ASSERT_TRUE(dialog_.WaitFor([] { return Shared().running_tasks.load() == 0; }, 20000));
    if (stop.after_lines < 0) {
      EXPECT_EQ(name_lookups.load(), 1);
    }

    std::multiset<std::string> result, bad_file, removed;
    int bad = 0;
    std::int64_t unchecked = 0;
    for (const LineDecision& decision : observer.decisions) {
      ASSERT_GE(decision.line_number, 1);
      ASSERT_LE(decision.line_number, static_cast<std::int64_t>(lines.size()));
      const std::string& read = lines[static_cast<std::size_t>(decision.line_number - 1)];
      EXPECT_EQ(decision.line, read);
      const std::string line = read.rfind("++", 0) == 0 ? read.substr(2) : read;
      const std::string domain = line.substr(line.find('@') == std::string::npos ? line.size() : line.find('@') + 1);
      if (decision.verdict_code == "400") {
        EXPECT_EQ(decision.outcome, LineOutcome::kTryAgain) << read;
      }
      // Only the mappings the probe will always keep; grey.test may go either way.
      auto known = settled.find(domain);
      if (line[0] != '+' && known != settled.end() && decision.outcome != LineOutcome::kKeptUnchecked) {
        EXPECT_EQ(decision.outcome, known->second) << read;
      }
      if (decision.outcome == LineOutcome::kGood) {
        EXPECT_EQ(decision.mail_host, Host(kGoodHost)) << read;
      }
      switch (decision.outcome) {
        case LineOutcome::kTryAgain: result.insert("++" + line); ++bad; break;
        case LineOutcome::kBad:
          ++bad;
          if (mode == kRemoveButton) removed.insert(line);
          if (mode == kSuspendButton) result.insert("+" + line.substr(1));
          if (mode == kWriteToFileButton) bad_file.insert(line);
          break;
        case LineOutcome::kKeptUnchecked: result.insert(read); ++unchecked; break;
        default: result.insert(line); break;
      }
    }
    std::set<std::int64_t> numbers;
    for (const LineDecision& decision : observer.decisions) numbers.insert(decision.line_number);
    EXPECT_EQ(numbers.size(), observer.decisions.size()) << "a line decided twice";
    for (std::int64_t n = 1; n <= static_cast<std::int64_t>(lines.size()); ++n) {
      if (numbers.count(n) == 0) result.insert(lines[static_cast<std::size_t>(n - 1)]), ++unchecked;
    }
    if (stop.after_lines >= 0) {
      ASSERT_EQ(observer.stops.size(), 1u);
      EXPECT_EQ(observer.stops[0].lines_copied, unchecked);
      EXPECT_EQ(observer.stops[0].stopped_at_line, lines_read());
    }

    std::vector<std::string> written = CrLfLines(ReadFile("MEMBERS.LST.OK"));
    EXPECT_EQ(std::multiset<std::string>(written.begin(), written.end()), result);
    std::vector<std::string> filed = CrLfLines(ReadFile("MEMBERS.LST.BAD"));
    std::multiset<std::string> filed_lines;
    for (std::size_t i = 1; i < filed.size(); i += 2) filed_lines.insert(filed[i]);
    EXPECT_EQ(filed_lines, bad_file);
    std::multiset<std::string> logged_removals;
    if (mode == kRemoveButton) {
      for (const std::string& log_line : LogLinesStartingWith("")) {
        std::size_t at = log_line.find(" !I think this is a bad address: ");
        if (at != std::string::npos) logged_removals.insert(log_line.substr(log_line.rfind("  ") + 1));
      }
    }
    EXPECT_EQ(logged_removals, removed);
    if (stop.after_lines >= 0) continue;
    EXPECT_EQ(LastResults().rfind(Results(static_cast<int>(lines.size()), bad), 0), 0u) << LastResults();

    ASSERT_FALSE(observer.progress_reports.empty());
    const RunProgress& last = observer.progress_reports.back();
    EXPECT_EQ(last.lines_read, static_cast<std::int64_t>(lines.size()));
    EXPECT_EQ(last.bytes_read, static_cast<std::int64_t>(list.size()));
    EXPECT_EQ(last.total_bytes, static_cast<std::int64_t>(list.size()));
  }
  network_ = nullptr;
}

// A DNS server that never answers would cost the whole wait for every line
// left; one that answers at all, even with errors, is still asked.
// Closing the window reaches the run only through its message steps, so a
// lookup must keep taking messages while it waits for a silent DNS server.
TEST_F(RunTest, AWindowClosedDuringTheDnsWaitStopsTheRun) {
  Shared().waits.dns_wait_ms = 60000;  // past the fixture's bound: only a heard close ends this run in time
  WriteFile("MEMBERS.LST", "x@silent.test\r\n");
  std::atomic<int> messages{0};
  dialog_.OnProcessMessage([&] {
    // Ten task starts and the "Resolving" step come first; the next ones
    // can only come from inside the lookup.
    if (++messages == kTaskSlots + 3) Shared().stop_flag = -1;
  });
  EXPECT_EQ(Run(kRemoveButton), RunEnd::kStopped);
  dialog_.OnProcessMessage(nullptr);
  EXPECT_EQ(LastResults(), "");
}

TEST_F(RunTest, SilentDnsServerEndsTheFetch) {
  Shared().waits.dns_wait_ms = 30;
  auto silent = [](int from, int count) {
    std::vector<std::string> lines;
    for (int i = from; i < from + count; ++i) lines.push_back("s" + std::to_string(i) + "@silent.test");
    return lines;
  };
  auto marked = [](std::vector<std::string> lines) {
    for (std::string& line : lines) line = "++" + line;
    return lines;
  };
  struct Case {
    std::string name;
    std::vector<std::string> list;
    std::vector<std::string> result;  // in order
    std::size_t lookups;
    int kept;  // -1: no warning
    int none_answered = -1;  // the lookups of a run none of which was answered; -1: some were
    std::string checked = "";
  };
  std::vector<Case> cases;
  {
    Case dead{"dead server", {"g@good.test", "# note"}, {"# note"}, 11, 4, -1, Checked(1, 0, 9, 5)};
    for (const std::string& line : silent(0, 9)) dead.list.push_back(line);
    dead.list.push_back("++again@silent.test");
    for (const char* line : {"s10@silent.test", "tail@good.test", "# end"}) dead.list.push_back(line);
    for (const std::string& line : marked(silent(0, 9))) dead.result.push_back(line);
    // The line in hand and every line after it, as read.
    for (const char* line : {"++again@silent.test", "s10@silent.test", "tail@good.test", "# end"}) {
      dead.result.push_back(line);
    }
    dead.result.push_back("g@good.test");  // its verdict comes last
    cases.push_back(dead);
  }
  {
    Case answering{"an error in between", silent(0, 9), marked(silent(0, 9)), 19, -1};
    answering.list.push_back("n@nxdomain.test");
    answering.result.push_back("++n@nxdomain.test");
    for (const std::string& line : silent(9, 9)) answering.list.push_back(line);
    for (const std::string& line : marked(silent(9, 9))) answering.result.push_back(line);
    cases.push_back(answering);
  }
  {
    Case short_list{"four addresses, none answered", silent(0, 4), marked(silent(0, 4)), 4, -1, 4, Checked(0, 0, 4, 1)};
    short_list.list.push_back("# end");
    short_list.result.push_back("# end");
    cases.push_back(short_list);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string list;
    for (const std::string& line : c.list) list += line + "\r\n";
    WriteFile("MEMBERS.LST", list);
    std::size_t asked_before = DnsQueries().size();
    RecordingObserver observer;
    options_.observer = &observer;
    ASSERT_EQ(Run(kRemoveButton), RunEnd::kCompleted);
    options_.observer = nullptr;
    EXPECT_EQ(DnsQueries().size() - asked_before, c.lookups);
    std::vector<std::string> result = CrLfLines(ReadFile("MEMBERS.LST.OK"));
    EXPECT_EQ(Sorted(result), Sorted(c.result));
    EXPECT_EQ(observer.decisions.size(), c.list.size());
    const std::string warning = "WARNING: The DNS server " + Host(kDnsHost) + " did not answer";
    std::string text = LastResults();
    if (c.kept < 0) {
      EXPECT_EQ(text.find(warning), std::string::npos) << text;
    } else {
      EXPECT_NE(text.find(warning), std::string::npos) << text;
      EXPECT_NE(text.find(" " + std::to_string(c.kept) + " lines were kept"), std::string::npos) << text;
    }
    const std::string none = "\r\n\r\nWARNING: The DNS server " + Host(kDnsHost) + " answered none of the " +
                             std::to_string(c.none_answered) +
                             " lookups of this run, so no address was checked. Check the DNS server and run again.";
    EXPECT_EQ(text.find(none) != std::string::npos, c.none_answered >= 0) << text;
    EXPECT_EQ(text.find("answered none") != std::string::npos, c.none_answered >= 0) << text;
    if (!c.checked.empty()) {
      EXPECT_NE(text.find(c.checked + "\r\n\r\nWARNING"), std::string::npos) << text;
    }
  }
}

// "No mail server could be reached" is about this run's probes only; through
// a proxy, it is the proxy that reached none.
TEST_F(RunTest, RunThatReachedNoMailServerSaysSo) {
  WriteFile("MEMBERS.LST", "x@down.test\r\n");
  LoopbackTcpServer proxy(Host(32), 1080, [](ServerConnection& peer) {
    peer.Send(std::string("\x05\x00\x05\x05", 4));  // no authentication; CONNECT refused
    peer.DrainUntilClosed();
  });
  ASSERT_TRUE(proxy.listening());
  const std::string port25 = "\r\n\r\nWARNING: No mail server could be reached.";
  struct Case {
    int connections_during_run;
    std::string warning;
    std::optional<ProxyAddress> proxy = std::nullopt;  // over a setting the run could not use
  };
  for (const Case& c : {Case{0, port25}, Case{1, ""},
                        Case{0, "\r\n\r\nWARNING: The proxy " + Host(32) + ":1080 could not reach any mail server "
                                "(connection refused). Check that it allows connections to port 25.",
                             ParseProxyUrl("socks5://" + Host(32) + ":1080").proxy}}) {
    options_.proxy = c.proxy;
    dialog_.SetText(kProxySetting, c.proxy ? "socks4://h:1" : "");
    // Counts left by an earlier run must not hide this one's.
    Shared().connections_opened = 5;
    dialog_.OnProcessMessage([&] {
      if (Shared().probes_made.load() == 0) {
        Shared().probes_made = 1;
        Shared().connections_opened = c.connections_during_run;
      }
    });
    ASSERT_EQ(Run(kRemoveButton), RunEnd::kCompleted);
    dialog_.OnProcessMessage(nullptr);
    std::string text = LastResults();
    EXPECT_EQ(text.find(port25) != std::string::npos, c.warning == port25) << text;
    EXPECT_NE(text.find(c.warning), std::string::npos) << text;
    EXPECT_EQ(CrLfLines(ReadFile("MEMBERS.LST.OK")), std::vector<std::string>{"++x@down.test"});
  }
  EXPECT_EQ(LogLinesStartingWith("Through the proxy "),
            std::vector<std::string>{"Through the proxy socks5://" + Host(32) + ":1080"});
}

// The stop flag, set from another thread as Ctrl-C does, ends the run long
// before the phase it falls into would have ended by itself.
TEST_F(RunTest, StopFlagIsSeenInEveryLongPhase) {
  std::string plain;
  for (int i = 0; i < 400000; ++i) plain += "plain line " + std::to_string(i) + "\r\n";
  struct Case {
    std::string name;
    std::string list;
    int start_gap_ms;
    std::function<bool()> phase_reached;
  };
  const std::vector<Case> cases = {
      {"task starts", "x@good.test\r\n", 600000, [] { return Shared().running_tasks.load() > 0; }},
      {"a fetch of plain lines", plain, 1,
       [] { return FileExists("vantrel.log") && ReadFile("vantrel.log").find(" File Input: plain") != std::string::npos; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile("MEMBERS.LST", c.list);
    Shared().waits.task_start_gap_ms = c.start_gap_ms;
    dialog_.SelectErrorMode(kRemoveButton);
    dialog_.SetText(kInputListBox, "MEMBERS.LST");
    std::future<RunEnd> run = std::async(std::launch::async, [&] { return RunVerification(dialog_); });
    ASSERT_TRUE(dialog_.WaitFor(c.phase_reached, 60000));
    Shared().stop_flag = -1;
    ASSERT_EQ(run.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(run.get(), RunEnd::kStopped);
    EXPECT_EQ(LastResults(), "");
    EXPECT_TRUE(dialog_.WaitFor([] { return Shared().running_tasks.load() == 0; }, 20000));
    Shared().stop_flag = 0;
    // Whatever the stop left unread was copied, within the same bound.
    EXPECT_EQ(ReadFile("MEMBERS.LST.OK"), c.list);
  }
}

}  // namespace
}  // namespace vantrel::testing
