// How fast a run stops, and what a hostile mail server costs it, with the
// product's own waits (60 s SMTP, 10 s DNS, 300 ms task starts). Run it
// inside tests/run-in-netns.sh.
//
//   stop_bench [--console PATH] [--only stops|console|memory] [--phase N]...
//
// stops:   a run on its own thread is stopped (the stop flag set, as the
//          window's exit does) at a moment of each phase; the table gives
//          the time until RunVerification returned and until the last task
//          ended
// console: the console program is run in the worlds of the phases and
//          interrupted (SIGINT); the time until the process ended, its exit
//          sequence and its 1 s grace included
// memory:  200 addresses whose mail server streams an endless greeting while
//          the DNS server takes 2 s over every reply: peak RSS and the run
//          log's size after 10, 30 and 60 s
//
// Exits 0 when every figure was measured, whatever it is; the table says
// which stops took a second or more.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "bench/stop_bench.h"
#include "probe/shared_state.h"
#include "tests/support/loopback.h"

namespace {

namespace fs = std::filesystem;
using vantrel::testing::FakeDnsServer;
using vantrel::testing::LoopbackAddress;

std::string ConsolePath(const char* argv0) {
  std::error_code error;
  fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) self = argv0;
  return (self.parent_path().parent_path() / "shell" / "console" / "vantrel").string();
}

}  // namespace

int main(int argc, char** argv) {
  std::string only;
  std::string console = ConsolePath(argv[0]);
  std::vector<std::string> phases;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--phase") == 0) phases.push_back(argv[i + 1]);
    if (std::strcmp(argv[i], "--only") == 0) only = argv[i + 1];
    if (std::strcmp(argv[i], "--console") == 0) console = argv[i + 1];
  }
  std::string pattern = (fs::temp_directory_path() / "vantrel-stop-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::fprintf(stderr, "no temporary directory\n");
    return 2;
  }
  const fs::path base = pattern;
  {
    FakeDnsServer probe(LoopbackAddress(53), [](const std::string&) { return std::optional<std::string>(); });
    if (!probe.listening()) {
      std::fprintf(stderr, "cannot listen on loopback port 53; run inside tests/run-in-netns.sh\n");
      return 2;
    }
  }
  const vantrel::Waits& waits = vantrel::Shared().waits;
  std::printf("Product waits: SMTP %d ms, DNS %d ms, task start gap %d ms, exit grace %d ms\n", waits.smtp_wait_ms,
              waits.dns_wait_ms, waits.task_start_gap_ms, waits.exit_wait_ms);
  std::fflush(stdout);

  if (only.empty() || only == "stops") vantrel::bench::StopPhases(base, phases);
  if (only.empty() || only == "console") vantrel::bench::ConsoleExits(base, console);
  if (only.empty() || only == "memory") vantrel::bench::MemoryUnderStream(base);
  std::fflush(stdout);
  ::chdir("/");
  std::error_code ignored;
  fs::remove_all(base, ignored);
  return 0;
}
