// Times whole runs with the product's own waits against loopback servers that
// answer at once. Run it inside tests/run-in-netns.sh.
//
//   run_bench                 200 addresses; compares the wall time with the
//                             run's rhythm (3 s of task starts, then 0.81 s
//                             per ten addresses) and fails beyond 10 %
//   run_bench --lines N       a list of N lines that need no probe, to watch
//                             peak memory (e.g. under /usr/bin/time -v)
//   run_bench --distant       100 addresses against a mail server that takes
//                             1 s over every reply; compares the wall time
//                             with the run's rhythm and fails beyond 5 %, or
//                             when the process used 1 % of one core or more
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "probe/shared_state.h"
#include "run/run_controller.h"
#include "tests/support/dns_packet_builder.h"
#include "tests/support/fake_main_dialog.h"
#include "tests/support/loopback.h"

namespace {

using vantrel::testing::LoopbackAddress;

std::string MakeTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return std::string();
  return pattern;
}

double TimedRun(vantrel::testing::FakeMainDialog& dialog) {
  auto start = std::chrono::steady_clock::now();
  vantrel::RunEnd end = vantrel::RunVerification(dialog);
  auto stop = std::chrono::steady_clock::now();
  if (end != vantrel::RunEnd::kCompleted) std::fprintf(stderr, "the run did not complete\n");
  return std::chrono::duration<double>(stop - start).count();
}

struct Usage {
  double cpu_seconds;
  double peak_rss_mib;
};

// who: RUSAGE_SELF for the whole process, RUSAGE_THREAD for the caller's
// thread (the run's own, since the run runs on it).
Usage ProcessUsage(int who = RUSAGE_SELF) {
  rusage usage{};
  ::getrusage(who, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return {seconds(usage.ru_utime) + seconds(usage.ru_stime), static_cast<double>(usage.ru_maxrss) / 1024.0};
}

// A mail server far away: every reply, the greeting included, comes a
// second after its cue. After QUIT it hangs up.
void DistantServer(vantrel::testing::ServerConnection& connection) {
  auto late = [&](const char* reply) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    connection.Send(reply);
  };
  late("220 far away\r\n");
  const char* replies[] = {"250 hi\r\n", "250 ok\r\n", "250 ok\r\n"};
  std::string line;
  for (const char* reply : replies) {
    if (!connection.ReadLine(&line)) return;
    late(reply);
  }
  connection.ReadLine(&line);  // QUIT
}

}  // namespace

int main(int argc, char** argv) {
  long plain_lines = -1;
  if (argc == 3 && std::strcmp(argv[1], "--lines") == 0) plain_lines = std::atol(argv[2]);
  const bool distant = argc == 2 && std::strcmp(argv[1], "--distant") == 0;

  std::string dir = MakeTempDir();
  if (dir.empty() || ::chdir(dir.c_str()) != 0) {
    std::fprintf(stderr, "no temporary directory\n");
    return 2;
  }

  const std::string mail_host = LoopbackAddress(5);
  // The distant servers run in a child process of their own, so that the
  // CPU time measured here is the product's alone. Their addresses are
  // fixed before the fork: each process would pick others.
  const std::string dns_address = LoopbackAddress(53);
  const std::string far_address = LoopbackAddress(6);
  int done[2] = {-1, -1};
  pid_t servers = -1;
  if (distant) {
    int ready[2];
    if (::pipe(ready) != 0 || ::pipe(done) != 0) return 2;
    servers = ::fork();
    if (servers == 0) {
      ::close(ready[0]);
      ::close(done[1]);
      vantrel::testing::FakeDnsServer dns(dns_address, [&](const std::string& query) {
        return std::optional<std::string>(vantrel::testing::MxReplyFor(query, {{10, far_address}}));
      });
      vantrel::testing::LoopbackTcpServer far(far_address, 25, DistantServer);
      char state = dns.listening() && far.listening() ? '1' : '0';
      if (::write(ready[1], &state, 1) != 1) ::_exit(2);
      char ignored;
      while (::read(done[0], &ignored, 1) > 0) {
      }
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(done[0]);
    char state = '0';
    if (servers < 0 || ::read(ready[0], &state, 1) != 1 || state != '1') {
      std::fprintf(stderr, "cannot listen on loopback; run inside tests/run-in-netns.sh\n");
      return 2;
    }
  }
  std::optional<vantrel::testing::FakeDnsServer> dns;
  std::optional<vantrel::testing::FakeSmtpServer> smtp;
  if (!distant) {
    dns.emplace(dns_address, [&](const std::string& query) {
      return std::optional<std::string>(vantrel::testing::MxReplyFor(query, {{10, mail_host}}));
    });
    smtp.emplace(mail_host, std::vector<std::string>{"220 bench\r\n", "250 hi\r\n", "250 ok\r\n", "250 ok\r\n"});
    if (!dns->listening() || !smtp->listening()) {
      std::fprintf(stderr, "cannot listen on loopback; run inside tests/run-in-netns.sh\n");
      return 2;
    }
  }

  vantrel::testing::FakeMainDialog dialog;
  vantrel::RegisterMainDialog(&dialog);
  dialog.SetText(vantrel::kDnsServerControl, LoopbackAddress(53));
  dialog.SetText(vantrel::kFromBox, "<bench@bench.test>");
  dialog.SetText(vantrel::kInputListBox, "BENCH.LST");
  dialog.SelectErrorMode(vantrel::kRemoveButton);

  int status = 0;
  {
    std::ofstream list("BENCH.LST", std::ios::binary);
    if (plain_lines >= 0) {
      for (long i = 0; i < plain_lines; ++i) list << "member number " << i << " has no address here\r\n";
    } else {
      for (int i = 0; i < (distant ? 100 : 200); ++i) list << "member" << i << "@bench.test\r\n";
    }
  }
  const Usage before = ProcessUsage();
  const Usage run_thread_before = ProcessUsage(RUSAGE_THREAD);
  double seconds = TimedRun(dialog);
  const Usage run_thread_after = ProcessUsage(RUSAGE_THREAD);
  const Usage after = ProcessUsage();
  if (distant) {
    const vantrel::Waits& waits = vantrel::Shared().waits;
    const double gap = waits.task_start_gap_ms / 1000.0;
    const double quit = waits.quit_pause_ms / 1000.0;
    const double poll = waits.idle_poll_ms / 1000.0;
    const double round = waits.round_sleep_ms / 1000.0;
    // Ten tasks started one gap apart; then each task takes ten addresses in
    // turn, each costing four late replies, the pause after QUIT and the
    // idle poll in which the task finds its next job; the last poll finds
    // the quit signal.
    const double per_address = 4 * 1.0 + quit + poll + round;
    const double rhythm = 10 * gap + 10 * per_address + poll;
    const double off = (seconds - rhythm) / rhythm * 100.0;
    const double cpu = after.cpu_seconds - before.cpu_seconds;
    const double core_share = cpu / seconds * 100.0;
    std::printf("100 addresses, every reply 1 s late\n");
    std::printf("  rhythm: 10 x %.2f s start gap + 10 x (4 x 1 s replies + %.2f s QUIT wait + %.2f s poll + %.2f s "
                "round) + %.2f s poll = %.2f s\n",
                gap, quit, poll, round, poll, rhythm);
    std::printf("  wall: %.2f s (%+.1f %% of the rhythm)\n", seconds, off);
    std::printf("  CPU: %.3f s, %.2f %% of one core (the run and its ten tasks)\n", cpu, core_share);
    const double run_cpu = run_thread_after.cpu_seconds - run_thread_before.cpu_seconds;
    std::printf("       %.3f s, %.2f %% of one core on the run's own thread\n", run_cpu, run_cpu / seconds * 100.0);
    std::printf("  peak RSS: %.1f MiB\n", after.peak_rss_mib);
    if (std::fabs(off) > 5.0 || core_share >= 1.0) status = 1;
  } else if (plain_lines >= 0) {
    std::printf("%ld lines without a probe: %.2f s\n", plain_lines, seconds);
  } else {
    const double rhythm = 3.0 + 20 * 0.81;
    double off = (seconds - rhythm) / rhythm * 100.0;
    std::printf("200 addresses: %.2f s wall, rhythm %.2f s, %+.1f %%\n", seconds, rhythm, off);
    if (std::fabs(off) > 10.0) status = 1;
  }
  // Tasks hold the dialog until they end.
  while (vantrel::Shared().running_tasks.load() > 0) dialog.WaitFor([] { return false; }, 20);
  vantrel::UnregisterMainDialog(&dialog);
  if (servers > 0) {
    ::close(done[1]);
    ::waitpid(servers, nullptr, 0);
  }
  std::filesystem::remove_all(dir);
  return status;
}
