// Whole runs against loopback DNS and SMTP servers, stopped: what a stop
// leaves, and how soon it is heard.
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
    // A report gets a row for every line, each once, however the run ended.
    std::set<std::int64_t> numbers;
    for (const LineDecision& decision : observer.decisions) numbers.insert(decision.line_number);
    EXPECT_EQ(numbers.size(), observer.decisions.size()) << "a line decided twice";
    EXPECT_EQ(numbers.size(), lines.size());
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
