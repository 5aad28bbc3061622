#include "tests/run/run_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/dns_packet_builder.h"

namespace vantrel::testing {

namespace {

// Far above what any run of these suites takes, well below ctest's limit.
constexpr std::chrono::seconds kRunBound{30};

}  // namespace

void RunTest::SetUp() {
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  previous_dir_ = cwd;
  std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-run-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  dir_ = pattern;
  ASSERT_EQ(::chdir(dir_.c_str()), 0);

  SharedState& shared = Shared();
  saved_waits_ = shared.waits;
  shared.waits.task_start_gap_ms = 1;
  shared.waits.round_sleep_ms = 1;
  shared.waits.idle_poll_ms = 5;
  shared.waits.dns_wait_ms = 200;
  shared.waits.smtp_wait_ms = 3000;
  shared.waits.quit_pause_ms = 1;
  shared.waits.file_lock_wait_ms = 100;
  shared.stop_flag = 0;
  TakeLogBuffer();
  RegisterMainDialog(&dialog_);

  dns_ = std::make_unique<FakeDnsServer>(LoopbackAddress(kDnsHost), [this](const std::string& query) {
    std::string domain = QuestionName(query);
    DnsAnswer answer;
    {
      std::lock_guard<std::mutex> lock(answers_mutex_);
      dns_queries_.push_back(domain);
      auto it = answers_.find(domain);
      if (it == answers_.end()) return std::optional<std::string>(ErrorReplyFor(query, 3));
      answer = it->second;
    }
    // The fake server's own thread dawdles; the run under test waits on its socket.
    if (answer.delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(answer.delay_ms));
    for (auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(10);
         answer.answer_once && !answer.answer_once() && std::chrono::steady_clock::now() < bound;) {
      std::this_thread::yield();
    }
    if (answer.kind == DnsAnswer::Kind::kSilent) return std::optional<std::string>();
    std::vector<MxAnswer> records;
    for (const auto& [preference, exchange] : answer.mx) records.push_back({preference, exchange});
    return std::optional<std::string>(
        MxReplyFor(query, records, static_cast<std::uint8_t>(answer.response_code)));
  });
  ASSERT_TRUE(dns_->listening()) << "run the suite inside tests/run-in-netns.sh";

  const std::string greeting = "220 fake ESMTP\r\n";
  smtp_.push_back(std::make_unique<FakeSmtpServer>(
      LoopbackAddress(kGoodHost), std::vector<std::string>{greeting, "250 hi\r\n", "250 ok\r\n", "250 ok\r\n"}));
  smtp_.push_back(std::make_unique<FakeSmtpServer>(
      LoopbackAddress(kRcptRefused),
      std::vector<std::string>{greeting, "250 hi\r\n", "250 ok\r\n", "550 no such user\r\n"}));
  smtp_.push_back(std::make_unique<FakeSmtpServer>(
      LoopbackAddress(kMailRefused), std::vector<std::string>{greeting, "250 hi\r\n", "553 not you\r\n"}));
  smtp_.push_back(std::make_unique<FakeSmtpServer>(
      LoopbackAddress(kGreylisted),
      std::vector<std::string>{greeting, "250 hi\r\n", "250 ok\r\n", "451 try again later\r\n"}));
  smtp_.push_back(std::make_unique<FakeSmtpServer>(
      LoopbackAddress(kBlocklisted),
      std::vector<std::string>{greeting, "250 hi\r\n", "250 ok\r\n",
                               "554 5.7.1 Service unavailable; Client host [192.0.2.1] blocked using zone.test\r\n"}));
  for (const auto& server : smtp_) ASSERT_TRUE(server->listening());

  AnswerMx("good.test", kGoodHost);
  AnswerMx("refused.test", kRcptRefused);
  AnswerMx("down.test", kNobody);
  AnswerMx("sender.test", kMailRefused);
  AnswerMx("grey.test", kGreylisted);
  AnswerMx("blocked.test", kBlocklisted);
  DnsAnswer nxdomain;
  nxdomain.kind = DnsAnswer::Kind::kResponseCode;
  nxdomain.response_code = 3;
  Answer("nxdomain.test", nxdomain);
  DnsAnswer silent;
  silent.kind = DnsAnswer::Kind::kSilent;
  Answer("silent.test", silent);
  Answer("nomx.test", DnsAnswer{});

  dialog_.SetText(kDnsServerControl, LoopbackAddress(kDnsHost));
  dialog_.SetText(kFromBox, "<checker@good.test>");
}

void RunTest::TearDown() {
  SharedState& shared = Shared();
  // Tasks hold the dialog; it must outlive the last of them.
  EXPECT_TRUE(dialog_.WaitFor("the last task to end after the test", [&] { return shared.running_tasks.load() == 0; },
                              20000));
  UnregisterMainDialog(&dialog_);
  shared.waits = saved_waits_;
  shared.stop_flag = 0;
  smtp_.clear();
  dns_.reset();
  ASSERT_EQ(::chdir(previous_dir_.c_str()), 0);
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void RunTest::Answer(const std::string& domain, DnsAnswer answer) {
  std::lock_guard<std::mutex> lock(answers_mutex_);
  answers_[domain] = std::move(answer);
}

void RunTest::AnswerMx(const std::string& domain, int host, std::uint16_t preference) {
  DnsAnswer answer;
  answer.mx.emplace_back(preference, LoopbackAddress(host));
  Answer(domain, answer);
}

RunEnd RunTest::Run(int mode_button, const std::string& list_name) {
  dialog_.SelectErrorMode(mode_button);
  dialog_.SetText(kInputListBox, list_name);
  // A run that never ends would hold the suite until ctest gives up on it.
  // Past the bound the watchdog fails the test at once and sets the stop
  // flag, as the window going away would, so that the run ends as well.
  std::mutex mutex;
  std::condition_variable ended_changed;
  bool ended = false;
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> lock(mutex);
    if (ended_changed.wait_for(lock, kRunBound, [&] { return ended; })) return;
    ADD_FAILURE() << "the run of " << list_name << " did not end within " << kRunBound.count()
                  << " s; the stop flag is set to end it";
    Shared().stop_flag = -1;
  });
  RunEnd end = RunVerification(dialog_, platform::RealFileSystem(),
                               network_ != nullptr ? *network_ : platform::RealNetwork(), options_);
  {
    std::lock_guard<std::mutex> lock(mutex);
    ended = true;
  }
  ended_changed.notify_all();
  watchdog.join();
  return end;
}

void RunTest::WriteFile(const std::string& name, const std::string& content) {
  std::ofstream(name, std::ios::binary) << content;
}

std::string RunTest::ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool RunTest::FileExists(const std::string& name) {
  struct stat info {};
  return ::stat(name.c_str(), &info) == 0;
}

std::vector<std::string> RunTest::Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::string> RunTest::LogLinesStartingWith(const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : CrLfLines(ReadFile("vantrel.log"))) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  }
  return found;
}

std::vector<std::string> RunTest::DnsQueries() {
  std::lock_guard<std::mutex> lock(answers_mutex_);
  return dns_queries_;
}

int RunTest::Connections(int host) {
  for (const auto& server : smtp_) {
    if (server->address() == LoopbackAddress(host)) return server->Connections();
  }
  return 0;
}

std::string RunTest::LastResults() {
  std::string text;
  for (const auto& box : dialog_.MessageBoxes()) {
    if (box.caption == "Results") text = box.text;
  }
  return text;
}

}  // namespace vantrel::testing
