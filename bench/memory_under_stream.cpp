// 200 addresses whose mail server streams an endless greeting while the DNS
// server takes 2 s over every reply: peak RSS and the run log's size after
// 10, 30 and 60 s, then a stop.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>

#include "bench/hostile_servers.h"
#include "bench/stop_bench.h"
#include "probe/shared_state.h"
#include "tests/support/dns_packet_builder.h"
#include "tests/support/loopback.h"

namespace vantrel::bench {

namespace {

using testing::FakeDnsServer;
using testing::LoopbackAddress;
using testing::MxZoneResponder;

// VmHWM or VmRSS from /proc/self/status, in MiB.
double StatusMiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + std::strlen(field) + 1) / 1024.0;
  }
  return -1;
}

// The peak RSS starts again from the current RSS (Linux 4.0 and later).
bool ResetPeakRss() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

}  // namespace

// 200 addresses at the streaming server, the DNS server 2 s late with every
// reply; peak RSS and log size over a minute, then a stop. Lines of 650
// bytes are the most a probe logs: a hundred of them just fit in a reply's
// 64 KiB, each below the 1,000-byte cut.
void MemoryUnderStream(const fs::path& base) {
  constexpr std::size_t kLineBytes = 650;
  std::printf("\nMemory: 200 addresses, MX streams an endless greeting of %zu-byte lines, every DNS reply 2 s late\n",
              kLineBytes);
  EnterFolder(base, "memory");
  WriteAddresses(200);
  const std::string mail = LoopbackAddress(34);
  auto zone = MxZoneResponder({{kDomain, {{10, mail}}}});
  FakeDnsServer dns(LoopbackAddress(53), [&](const std::string& query) {
    Pause(2000);
    return zone(query);
  });
  EndlessGreetingServer stream(mail, kLineBytes);
  const bool reset = ResetPeakRss();
  std::printf("  before the run: RSS %.1f MiB, peak %.1f MiB%s\n", StatusMiB("VmRSS:"), StatusMiB("VmHWM:"),
              reset ? " (peak reset)" : " (peak could not be reset)");
  std::printf("  %6s %12s %12s %14s %14s %12s %12s\n", "at", "peak RSS", "RSS", "vantrel.log", "log buffer",
              "connections", "streamed");
  const Clock::time_point start = Clock::now();
  int next = 0;
  const int marks[] = {10, 30, 60};
  StopFigure figure = RunAndStop("memory", "60 s", platform::RealNetwork(), LoopbackAddress(53), [&] {
    if (next < 3 && Since(start) >= marks[next]) {
      std::printf("  %5ds %8.1f MiB %8.1f MiB %10llu KiB %10zu KiB %12d %8.1f MiB\n", marks[next],
                  StatusMiB("VmHWM:"), StatusMiB("VmRSS:"),
                  static_cast<unsigned long long>(FileBytes("vantrel.log") >> 10), LogBufferSize() >> 10,
                  stream.connections(), static_cast<double>(stream.sent()) / (1 << 20));
      std::fflush(stdout);
      ++next;
    }
    return next == 3;
  }, 70000);
  const int connections = stream.connections();
  std::printf("  stopped: run returned after %.3f s, tasks ended after %.3f s\n", figure.run_s, figure.tasks_s);
  std::printf("  vantrel.log %llu KiB for %d connections: %.1f KiB per probe\n",
              static_cast<unsigned long long>(FileBytes("vantrel.log") >> 10), connections,
              connections > 0 ? static_cast<double>(FileBytes("vantrel.log")) / 1024.0 / connections : 0.0);
}

}  // namespace vantrel::bench
