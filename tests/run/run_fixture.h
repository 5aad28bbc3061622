// A verification run against loopback servers, in a fresh directory of its
// own: a fake DNS server that answers each domain as the test says, and SMTP
// servers that accept, refuse or are missing. Run the suite inside
// tests/run-in-netns.sh.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "probe/shared_state.h"
#include "run/run_controller.h"
#include "tests/support/crlf_lines.h"
#include "tests/support/fake_main_dialog.h"
#include "tests/support/loopback.h"

namespace vantrel::testing {

// The counting lines of the "Results" box; a run's text goes on with its
// "Checked:" line.
inline std::string Results(int master, int bad) {
  return "I think everything is done.\r\n\r\nAddresses in master list: " + std::to_string(master) +
         "\r\nBad addresses found: " + std::to_string(bad) + "\r\nGood addresses: " + std::to_string(master - bad);
}

inline std::string Checked(int good, int bad, int try_again, int not_checked) {
  return "\r\nChecked: " + std::to_string(good) + " good, " + std::to_string(bad) + " bad, " +
         std::to_string(try_again) + " to try again. Not checked: " + std::to_string(not_checked) +
         " (comments, blank lines, suspended lines and lines kept unchanged).";
}

inline std::string Host(int n) { return LoopbackAddress(n); }

// How the fake DNS server answers one domain.
struct DnsAnswer {
  enum class Kind { kRecords, kResponseCode, kSilent };
  Kind kind = Kind::kRecords;
  std::vector<std::pair<std::uint16_t, std::string>> mx;  // preference, exchange
  int response_code = 0;
  int delay_ms = 0;  // the server dawdles this long before answering
  std::function<bool()> answer_once;  // when set, the server answers once it holds (10 s at most)
};

// Every decision and progress report of a run, as the observer received them.
class RecordingObserver : public RunObserver {
 public:
  void LineDecided(const LineDecision& decision) override { decisions.push_back(decision); }
  void ProgressMade(const RunProgress& progress) override { progress_reports.push_back(progress); }
  void RunStopped(const RunStop& stop) override { stops.push_back(stop); }
  bool KeepsEveryLine() const override { return true; }  // as a report does
  std::vector<LineDecision> decisions;
  std::vector<RunProgress> progress_reports;
  std::vector<RunStop> stops;
};

class RunTest : public ::testing::Test {
 protected:
  // Loopback hosts of the SMTP servers.
  static constexpr int kGoodHost = 5;      // takes every address
  static constexpr int kRcptRefused = 6;   // 550 to RCPT TO
  static constexpr int kNobody = 7;        // nothing listens: unreachable
  static constexpr int kMailRefused = 8;   // 553 to MAIL FROM
  static constexpr int kGreylisted = 9;    // 451 to RCPT TO
  static constexpr int kBlocklisted = 10;  // 554 Client host blocked, to RCPT TO
  static constexpr int kDnsHost = 53;

  void SetUp() override;
  void TearDown() override;

  // Domains good.test, refused.test, down.test, sender.test, grey.test point
  // at the hosts above; nxdomain.test, silent.test and nomx.test fail their lookup.
  void Answer(const std::string& domain, DnsAnswer answer);
  void AnswerMx(const std::string& domain, int host, std::uint16_t preference = 10);

  RunEnd Run(int mode_button, const std::string& list_name = "MEMBERS.LST");
  static void WriteFile(const std::string& name, const std::string& content);
  static std::string ReadFile(const std::string& name);  // "" when missing
  static bool FileExists(const std::string& name);
  static std::vector<std::string> Sorted(std::vector<std::string> lines);
  // The log lines of the run log that begin with prefix.
  std::vector<std::string> LogLinesStartingWith(const std::string& prefix);
  std::string LastResults();  // the text of the last "Results" box

  std::vector<std::string> DnsQueries();  // the domains asked, in order
  int Connections(int host);  // accepted so far by the SMTP server of host

  FakeMainDialog dialog_;
  RunOptions options_;  // what Run hands the run besides the dialog
  platform::Network* network_ = nullptr;  // the run's network; null: the real one

 private:
  Waits saved_waits_;
  std::string previous_dir_;
  std::string dir_;
  std::mutex answers_mutex_;
  std::map<std::string, DnsAnswer> answers_;
  std::vector<std::string> dns_queries_;
  std::unique_ptr<FakeDnsServer> dns_;
  std::vector<std::unique_ptr<FakeSmtpServer>> smtp_;
};

}  // namespace vantrel::testing
