// Whole runs against loopback DNS and SMTP servers that say nothing: a
// silent DNS server, mail servers nobody reaches, tasks that end idle.
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

}  // namespace
}  // namespace vantrel::testing
