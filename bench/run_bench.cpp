// Times whole runs with the product's own waits against loopback servers that
// answer at once. Run it inside tests/run-in-netns.sh.
//
//   run_bench                 200 addresses; compares the wall time with the
//                             run's rhythm (3 s of task starts, then 0.81 s
//                             per ten addresses) and fails beyond 10 %
//   run_bench --lines N       a list of N lines that need no probe, to watch
//                             peak memory (e.g. under /usr/bin/time -v)
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

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

}  // namespace

int main(int argc, char** argv) {
  long plain_lines = -1;
  if (argc == 3 && std::strcmp(argv[1], "--lines") == 0) plain_lines = std::atol(argv[2]);

  std::string dir = MakeTempDir();
  if (dir.empty() || ::chdir(dir.c_str()) != 0) {
    std::fprintf(stderr, "no temporary directory\n");
    return 2;
  }

  const std::string mail_host = LoopbackAddress(5);
  vantrel::testing::FakeDnsServer dns(LoopbackAddress(53), [&](const std::string& query) {
    return std::optional<std::string>(vantrel::testing::MxReplyFor(query, {{10, mail_host}}));
  });
  vantrel::testing::FakeSmtpServer smtp(mail_host, {"220 bench\r\n", "250 hi\r\n", "250 ok\r\n", "250 ok\r\n"});
  if (!dns.listening() || !smtp.listening()) {
    std::fprintf(stderr, "cannot listen on loopback; run inside tests/run-in-netns.sh\n");
    return 2;
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
      for (int i = 0; i < 200; ++i) list << "member" << i << "@bench.test\r\n";
    }
  }
  double seconds = TimedRun(dialog);
  if (plain_lines >= 0) {
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
  std::filesystem::remove_all(dir);
  return status;
}
