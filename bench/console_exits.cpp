// The console program in the worlds of the stop phases, interrupted
// (SIGINT) at the same moments as far as they can be seen from outside: the
// time until the process ended, its exit sequence and its 1 s grace included.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "bench/hostile_servers.h"
#include "bench/stop_bench.h"
#include "tests/support/dns_packet_builder.h"
#include "tests/support/loopback.h"

namespace vantrel::bench {

namespace {

using testing::FakeDnsServer;
using testing::LoopbackAddress;
using testing::MxZoneResponder;

// Connections to port 25 of this namespace still opening (SYN sent, no
// answer), from /proc/net/tcp.
int OpeningSmtpConnections() {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  int count = 0;
  while (std::getline(table, line)) {
    // "  sl  local_address rem_address   st ...": rem_address ends in :0019, st 02
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (remote.size() > 5 && remote.compare(remote.size() - 5, 5, ":0019") == 0 && state == "02") ++count;
  }
  return count;
}

// The console program, started in the current folder against the DNS server
// at dns_address and interrupted (SIGINT) once moment(started) holds: the
// time from the signal to the process's end, its exit sequence included.
void ConsoleExit(const std::string& console, const std::string& phase, const std::string& dns_address,
                 const std::function<bool(Clock::time_point)>& moment, const char* report = nullptr) {
  const pid_t child = ::fork();
  if (child == 0) {
    int out = ::open("console.out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(out, STDERR_FILENO);
    if (report != nullptr) {
      ::execl(console.c_str(), console.c_str(), "--from", kFrom, "--list", kListName, "--dns", dns_address.c_str(),
              "--errors", "remove", "--quiet", "--report", report, static_cast<char*>(nullptr));
    }
    ::execl(console.c_str(), console.c_str(), "--from", kFrom, "--list", kListName, "--dns", dns_address.c_str(),
            "--errors", "remove", "--quiet", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const Clock::time_point started = Clock::now();
  int status = 0;
  const bool reached = PollUntil([&] { return moment(started); }, 30000);
  const double interrupted_after = Since(started);
  const Clock::time_point sent_at = Clock::now();
  ::kill(child, SIGINT);
  const bool ended = PollUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }, 10000);
  const double exit_s = Since(sent_at);
  if (!ended) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
  }
  std::string output;
  {
    std::ifstream out("console.out", std::ios::binary);
    output.assign(std::istreambuf_iterator<char>(out), std::istreambuf_iterator<char>());
  }
  char exit_text[48];
  std::snprintf(exit_text, sizeof exit_text, "%.3f s%s", exit_s,
                !ended ? " (killed at 10 s!)" : exit_s >= 3.0 ? " (3 s or more!)" : "");
  std::printf("  %-18s %8.2f s%s %22s %6d %9s %8llu KiB  %s\n", phase.c_str(), interrupted_after,
              reached ? " " : "?", exit_text, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
              fs::exists("Vantrel.INI") ? "saved" : "NOT saved",
              static_cast<unsigned long long>(FileBytes("vantrel.log") >> 10),
              output.find("still running") != std::string::npos ? "tasks still running after the grace"
                                                                 : "every task ended within the grace");
  std::fflush(stdout);
}

}  // namespace

// The console program in the worlds of the stop phases, interrupted at the
// same moments as far as they can be seen from outside.
void ConsoleExits(const fs::path& base, const std::string& console) {
  std::printf("\nConsole program: SIGINT to process end (must be < 3 s; the exit sequence holds a 1 s grace)\n");
  if (::access(console.c_str(), X_OK) != 0) {
    std::printf("  %s: not found; build the target vantrel\n", console.c_str());
    return;
  }
  std::printf("  %-18s %10s %22s %6s %9s %12s\n", "phase", "SIGINT at", "process ended after", "status",
              "settings", "vantrel.log");
  const std::string dns_address = LoopbackAddress(53);
  {
    EnterFolder(base, "console-1");
    WriteAddresses(10);
    const std::string mail = LoopbackAddress(21);
    FakeDnsServer dns(dns_address, MxZoneResponder({{kDomain, {{10, mail}}}}));
    testing::FakeSmtpServer smtp(mail, {"220 bench\r\n", "250 hi\r\n", "250 ok\r\n", "250 ok\r\n"});
    // Ten tasks start 300 ms apart from the program's start on.
    ConsoleExit(console, "1 task starts", dns_address,
                [](Clock::time_point started) { return Since(started) >= 0.8; });
  }
  {
    EnterFolder(base, "console-2");
    WriteLongList();
    const std::string mail = LoopbackAddress(22);
    FakeDnsServer dns(dns_address, MxZoneResponder({{kDomain, {{10, mail}}}}));
    testing::FakeSmtpServer smtp(mail, {"220 bench\r\n", "250 hi\r\n", "250 ok\r\n", "250 ok\r\n"});
    ConsoleExit(console, "2 long fetch", dns_address,
                [](Clock::time_point) { return FileBytes(kResultList) > 8u * 1024 * 1024; });
    fs::remove(kResultList);
    // The same stop with a report, which gets a row for each line copied back.
    ConsoleExit(
        console, "2 same, --report", dns_address,
        [](Clock::time_point) { return FileBytes(kResultList) > 8u * 1024 * 1024; }, "report.csv");
    std::printf("  %-18s report %llu MiB\n", "", static_cast<unsigned long long>(FileBytes("report.csv") >> 20));
    fs::remove(kListName);
    fs::remove(kResultList);
    fs::remove("report.csv");
  }
  {
    EnterFolder(base, "console-3");
    WriteAddresses(10);
    FakeDnsServer dns(dns_address, [](const std::string&) { return std::optional<std::string>(); });
    ConsoleExit(console, "3 DNS wait", dns_address, [&](Clock::time_point) { return !dns.Queries().empty(); });
  }
  {
    EnterFolder(base, "console-4");
    WriteAddresses(200);
    const std::string mail = LoopbackAddress(24);
    FakeDnsServer dns(dns_address, MxZoneResponder({{kDomain, {{10, mail}}}}));
    EndlessGreetingServer stream(mail);
    ConsoleExit(console, "4 greeting stream", dns_address,
                [&](Clock::time_point) { return stream.sent() > 1024 * 1024; });
  }
  {
    EnterFolder(base, "console-5");
    WriteAddresses(1);
    const std::string mail = LoopbackAddress(25);
    FakeDnsServer dns(dns_address, MxZoneResponder({{kDomain, {{10, mail}}}}));
    UnansweredListener listener(mail);
    // One of the listener's own two connections stays unanswered too.
    const int before = OpeningSmtpConnections();
    Clock::time_point began;
    bool seen = false;
    ConsoleExit(console, "5 connecting", dns_address, [&](Clock::time_point) {
      if (!seen && OpeningSmtpConnections() > before) {
        seen = true;
        began = Clock::now();
      }
      return seen && Clock::now() - began >= std::chrono::seconds(1);
    });
  }
  {
    EnterFolder(base, "console-6");
    WriteAddresses(1);
    const std::string mail = LoopbackAddress(26);
    FakeDnsServer dns(dns_address, MxZoneResponder({{kDomain, {{10, mail}}}}));
    TrickleServer trickle(mail, 5000);
    Clock::time_point second_byte;
    bool seen = false;
    ConsoleExit(console, "6 byte per 5 s", dns_address, [&](Clock::time_point) {
      if (!seen && trickle.sent() >= 2) {
        seen = true;
        second_byte = Clock::now();
      }
      return seen && Clock::now() - second_byte >= std::chrono::seconds(1);
    });
  }
  std::printf("  (? marks a moment that never came: the signal went at the 30 s bound)\n");
}

}  // namespace vantrel::bench
