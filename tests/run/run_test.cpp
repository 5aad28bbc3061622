// Whole runs against loopback DNS and SMTP servers.
#include <gtest/gtest.h>

#include <set>

#include "platform/file.h"
#include "probe/shared_state.h"
#include "tests/run/run_fixture.h"

namespace vantrel::testing {
namespace {

std::string Results(int master, int bad) {
  return "I think everything is done.\r\n\r\nAddresses in master list: " + std::to_string(master) +
         "\r\nBad addresses found: " + std::to_string(bad) + "\r\nGood addresses: " + std::to_string(master - bad);
}

std::string Host(int n) { return LoopbackAddress(n); }

TEST_F(RunTest, EveryKindOfLine) {
  struct Case {
    std::string name;
    std::string list;
    std::vector<std::string> result;  // sorted
    int master;
    int bad;
  };
  const std::vector<Case> cases = {
      {"comments and blanks", "# heading\r\n\r\nnote\r\n", {"", "# heading", "note"}, 3, 0},
      {"an address", "one@good.test\r\n", {"one@good.test"}, 1, 0},
      {"blanks around an address", "  one@good.test \r\n", {"  one@good.test "}, 1, 0},
      {"suspended lines", "+old@refused.test\r\n   +kept@good.test\r\n",
       {"   +kept@good.test", "+old@refused.test"}, 2, 0},
      {"soft DNS, found now", "++again@good.test\r\n", {"again@good.test"}, 1, 0},
      {"soft DNS, failing again", "++again@nxdomain.test\r\n", {"++again@nxdomain.test"}, 1, 1},
      {"soft DNS after blanks", "  ++x@good.test\r\n", {"++x@good.test"}, 1, 0},
      {"two at signs", "a@b@good.test\r\n", {"++a@b@good.test"}, 1, 1},
      {"bad address, suspended", " bad@refused.test\r\n", {"+bad@refused.test"}, 1, 1},
      {"Ctrl-Z as the last byte ends the list", "a@good.test\r\n\x1a", {"a@good.test"}, 1, 0},
      {"LF-only list is one line", "x@nomx.test\ny@good.test\n", {"++x@nomx.test\ny@good.test\n"}, 1, 1},
      {"last line without an end", "# top\r\none@good.test", {"# top", "one@good.test"}, 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile("MEMBERS.LST", c.list);
    ASSERT_EQ(Run(kSuspendButton), RunEnd::kCompleted);
    EXPECT_EQ(Sorted(Lines(ReadFile("MEMBERS.LST.OK"))), c.result);
    EXPECT_EQ(LastResults(), Results(c.master, c.bad));
  }
  EXPECT_FALSE(FileExists("MEMBERS.LST.BAD"));
  // The domain of a line with two at signs is everything after the first.
  std::vector<std::string> asked = DnsQueries();
  EXPECT_NE(std::find(asked.begin(), asked.end(), "b@good.test"), asked.end());
  EXPECT_EQ(std::count(asked.begin(), asked.end(), "refused.test"), 1) << "suspended lines are never looked up";
}

TEST_F(RunTest, EveryErrorModeWithEveryVerdict) {
  const std::string refused = "500 Remote server (" + Host(kRcptRefused) +
                              ") does not accept mail to \"bad@refused.test\"";
  const std::string down = "400 Remote SMTP server (" + Host(kNobody) + ") unreachable.";
  const std::string sender =
      "500 Remote server (" + Host(kMailRefused) + ") does not accept mail from \"<checker@good.test>\"";
  struct Case {
    int mode;
    std::string line;
    std::vector<std::string> result;
    std::vector<std::string> bad_file;  // what this run adds
    int bad;
  };
  std::vector<Case> cases;
  for (int mode : {kRemoveButton, kSuspendButton, kWriteToFileButton}) {
    auto bad_case = [&](const std::string& line, const std::string& verdict) {
      Case c{mode, line, {}, {}, 1};
      if (mode == kSuspendButton) c.result = {"+" + line};
      if (mode == kWriteToFileButton) c.bad_file = {"## " + verdict + " " + line, line};
      cases.push_back(c);
    };
    cases.push_back({mode, "good@good.test", {"good@good.test"}, {}, 0});
    bad_case("bad@refused.test", refused);
    bad_case("gone@down.test", down);
    bad_case("who@sender.test", sender);
    // A failed lookup keeps the line for the next run whatever the mode.
    for (const char* failing : {"x@nxdomain.test", "x@silent.test", "x@nomx.test"}) {
      cases.push_back({mode, failing, {std::string("++") + failing}, {}, 1});
    }
  }
  std::size_t bad_file_lines = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.mode) + " " + c.line);
    WriteFile("MEMBERS.LST", c.line + "\r\n");
    ASSERT_EQ(Run(c.mode), RunEnd::kCompleted);
    EXPECT_EQ(Lines(ReadFile("MEMBERS.LST.OK")), c.result);
    std::vector<std::string> bad_file = Lines(ReadFile("MEMBERS.LST.BAD"));
    ASSERT_EQ(bad_file.size(), bad_file_lines + c.bad_file.size());
    EXPECT_EQ(std::vector<std::string>(bad_file.begin() + static_cast<long>(bad_file_lines), bad_file.end()),
              c.bad_file);
    bad_file_lines = bad_file.size();
    EXPECT_EQ(LastResults(), Results(1, c.bad));
  }
  std::vector<std::string> judged = LogLinesStartingWith("0 !I think this is a bad address: ");
  EXPECT_EQ(judged.size(), 9u);
  EXPECT_EQ(LogLinesStartingWith("0 Could not find MX server for x@nomx.test").size(), 3u);
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
    EXPECT_EQ(LastResults(), Results(1, c.chosen == kGoodHost ? 0 : 1));
  }
}

TEST_F(RunTest, TwoRunsGrowTheLogAndTheBadAddressFile) {
  WriteFile("LIST.", "bad@refused.test\r\ngood@good.test\r\n");
  for (int run = 0; run < 2; ++run) {
    ASSERT_EQ(Run(kWriteToFileButton, "LIST."), RunEnd::kCompleted);
    EXPECT_EQ(Lines(ReadFile("LIST.OK")), std::vector<std::string>{"good@good.test"});
  }
  std::vector<std::string> bad = Lines(ReadFile("LIST.BAD"));
  ASSERT_EQ(bad.size(), 4u);
  EXPECT_EQ(bad[0], bad[2]);
  EXPECT_EQ(bad[1], "bad@refused.test");
  EXPECT_EQ(bad[3], "bad@refused.test");

  std::vector<std::string> log = Lines(ReadFile("vantrel.log"));
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
  std::vector<std::string> log = Lines(ReadFile("vantrel.log"));
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
  EXPECT_EQ(LastResults(), Results(0, 0));
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

TEST_F(RunTest, MissingOrHeldListStartsNothing) {
  ASSERT_EQ(Run(kRemoveButton, "NOPE.LST"), RunEnd::kRefused);
  WriteFile("HELD.LST", "one@good.test\r\n");
  auto held = platform::RealFileSystem().OpenRead("HELD.LST");
  ASSERT_NE(held, nullptr);
  ASSERT_EQ(Run(kRemoveButton, "HELD.LST"), RunEnd::kRefused);

  std::vector<FakeMainDialog::MessageBox> boxes = dialog_.MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "File not found.\r\n\r\nNOPE.LST\r\n\r\nClick the [...] button to\r\nbrowse for the input file.");
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(boxes[0].icon, MessageIcon::kStop);
  EXPECT_EQ(boxes[1].caption, "Error");
  EXPECT_NE(boxes[1].text.find("HELD.LST"), std::string::npos);
  EXPECT_TRUE(dialog_.EnableCalls().empty());
  EXPECT_FALSE(FileExists("vantrel.log"));
  EXPECT_FALSE(FileExists("NOPE.LST.OK"));
  EXPECT_FALSE(FileExists("HELD.LST.OK"));
  EXPECT_EQ(Shared().running_tasks.load(), 0);
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
  EXPECT_EQ(Lines(ReadFile("MEMBERS.LST.OK")), std::vector<std::string>{"bad@refused.test"});
  EXPECT_NE(LastResults().find("WARNING: Some bad addresses could not be written to MEMBERS.LST.BAD"),
            std::string::npos);
}

TEST_F(RunTest, AddressesThatCannotBeHandedToATask) {
  const std::string long_address = std::string(241 - 10, 'l') + "@good.test";
  struct Case {
    std::string line;
    std::string verdict;
  };
  const std::vector<Case> cases = {
      {long_address, "500 Address too long to check."},
      {":colon@good.test", "500 Address begins with a colon."},
      {"a\x01" "b@good.test", "500 Address holds a control character."},
  };
  for (const Case& c : cases) {
    WriteFile("MEMBERS.LST", c.line + "\r\n");
    ASSERT_EQ(Run(kSuspendButton), RunEnd::kCompleted);
    EXPECT_EQ(Lines(ReadFile("MEMBERS.LST.OK")), std::vector<std::string>{"+" + c.line});
    EXPECT_EQ(LastResults(), Results(1, 1));
    std::vector<std::string> judged = LogLinesStartingWith("0 !I think this is a bad address: ");
    ASSERT_FALSE(judged.empty());
    EXPECT_EQ(judged.back(), "0 !I think this is a bad address: " + c.verdict + " " + c.line);
  }
  EXPECT_TRUE(DnsQueries().empty());
  // One character shorter still fits a slot whole and is probed.
  WriteFile("MEMBERS.LST", long_address.substr(1) + "\r\n");
  ASSERT_EQ(Run(kSuspendButton), RunEnd::kCompleted);
  EXPECT_EQ(Lines(ReadFile("MEMBERS.LST.OK")), std::vector<std::string>{long_address.substr(1)});
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
  EXPECT_TRUE(dialog_.WaitFor([] { return Shared().running_tasks.load() == 0; }, 20000));
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
  EXPECT_EQ(Sorted(Lines(ReadFile("MEMBERS.LST.OK"))), Sorted(expected));
  EXPECT_EQ(LastResults(), Results(static_cast<int>(expected.size()), 4 + 3 + 3));
}

// Every line of a long mixed list is accounted for exactly once: in the
// result list, in the bad-address file, or as a logged removal.
TEST_F(RunTest, EveryLineIsAccountedForOnce) {
  std::vector<std::string> lines;
  const char* domains[] = {"good.test", "refused.test", "down.test", "nxdomain.test", "nomx.test"};
  for (int i = 0; i < 150; ++i) {
    std::string id = std::to_string(i);
    switch (i % 7) {
      case 0: lines.push_back("note " + id); break;
      case 1: lines.push_back("+s" + id + "@good.test"); break;
      case 2: lines.push_back("++d" + id + "@" + domains[i % 5]); break;
      default: lines.push_back(" a" + id + "@" + domains[i % 5]); break;
    }
  }
  std::string list;
  for (const std::string& line : lines) list += line + "\r\n";
  WriteFile("MEMBERS.LST", list);

  for (int mode : {kRemoveButton, kWriteToFileButton}) {
    SCOPED_TRACE(mode);
    ::remove("MEMBERS.LST.BAD");
    ::remove("vantrel.log");
    ASSERT_EQ(Run(mode), RunEnd::kCompleted);
    std::multiset<std::string> seen;
    auto id_of = [](const std::string& text) {
      std::size_t end = text.find('@');
      std::size_t begin = text.find_last_of(" +", end == std::string::npos ? text.size() : end);
      if (end == std::string::npos) return text;  // a note keeps its whole text
      return text.substr(begin == std::string::npos ? 0 : begin + 1, end - begin - 1);
    };
    for (const std::string& line : Lines(ReadFile("MEMBERS.LST.OK"))) seen.insert(id_of(line));
    std::vector<std::string> bad = Lines(ReadFile("MEMBERS.LST.BAD"));
    for (std::size_t i = 1; i < bad.size(); i += 2) seen.insert(id_of(bad[i]));
    if (mode == kRemoveButton) {
      for (const std::string& removed : LogLinesStartingWith("")) {
        if (removed.find(" !I think this is a bad address: ") != std::string::npos) {
          seen.insert(id_of(removed.substr(removed.rfind(' ', removed.rfind('@')))));
        }
      }
    }
    for (const std::string& line : lines) EXPECT_EQ(seen.count(id_of(line)), 1u) << line;
    EXPECT_EQ(seen.size(), lines.size());
  }
}

}  // namespace
}  // namespace vantrel::testing
