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
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/hostile_servers.h"
#include "platform/network.h"
#include "probe/shared_state.h"
#include "run/run_controller.h"
#include "tests/support/dns_packet_builder.h"
#include "tests/support/fake_main_dialog.h"
#include "tests/support/loopback.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using vantrel::bench::EndlessGreetingServer;
using vantrel::bench::TrickleServer;
using vantrel::bench::UnansweredListener;
using vantrel::testing::FakeDnsServer;
using vantrel::testing::LoopbackAddress;
using vantrel::testing::MxZoneResponder;

constexpr char kDomain[] = "bench.test";
constexpr char kFrom[] = "<bench@bench.test>";
constexpr char kListName[] = "BENCH.LST";
constexpr char kResultList[] = "BENCH.LST.OK";  // the result list's name: the list's + ".OK"

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Polls until done() holds or bound_ms passed; false on the bound.
bool PollUntil(const std::function<bool()>& done, int bound_ms) {
  auto until = Clock::now() + std::chrono::milliseconds(bound_ms);
  while (!done()) {
    if (Clock::now() > until) return false;
    Pause(1);
  }
  return true;
}

// A fresh folder under base for one run's files; the process works in it.
bool EnterFolder(const fs::path& base, const std::string& name) {
  std::error_code error;
  fs::create_directories(base / name, error);
  return !error && ::chdir((base / name).c_str()) == 0;
}

void WriteAddresses(int count) {
  std::ofstream list(kListName, std::ios::binary);
  for (int i = 0; i < count; ++i) list << "member" << i << "@" << kDomain << "\r\n";
}

// One address, then 3 million lines that need no probe.
void WriteLongList() {
  std::ofstream list(kListName, std::ios::binary);
  list << "first@" << kDomain << "\r\n";
  for (long i = 0; i < 3000000; ++i) list << "member number " << i << " has no address here\r\n";
}

std::uint64_t FileBytes(const char* name) {
  std::error_code error;
  auto size = fs::file_size(name, error);
  return error ? 0 : size;
}

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

// The system network, noting when the first connection began to open and
// whether it opened.
class WatchedNetwork : public vantrel::platform::SystemNetwork {
 public:
  std::unique_ptr<vantrel::platform::ByteStream> ConnectTcp(std::uint32_t address, std::uint16_t port, int wait_ms,
                                                            const std::function<bool()>& give_up) override {
    if (!began_.load()) {
      began_at_ = Clock::now();
      began_.store(true);
    }
    auto stream = SystemNetwork::ConnectTcp(address, port, wait_ms, give_up);
    if (stream != nullptr) opened_.store(true);
    return stream;
  }
  bool began() const { return began_.load(); }
  Clock::time_point began_at() const { return began_at_; }  // once began()
  bool opened() const { return opened_.load(); }

 private:
  std::atomic<bool> began_{false};
  std::atomic<bool> opened_{false};
  Clock::time_point began_at_;
};

struct StopFigure {
  std::string phase;
  std::string moment;      // what had happened when the flag was set
  bool reached = false;    // the moment came before the run ended by itself
  double run_s = -1;       // flag set -> RunVerification returned
  double tasks_s = -1;     // flag set -> running_tasks 0
  std::string note;
};

// Runs a whole verification on its own thread with the product's waits,
// sets the stop flag once moment() holds, and times the way out. The
// dialog is never destroyed: a task that outlives the bound may still
// reach it.
StopFigure RunAndStop(const std::string& phase, const std::string& moment_text, vantrel::platform::Network& network,
                      const std::string& dns_server, const std::function<bool()>& moment, int bound_ms = 60000) {
  StopFigure figure;
  figure.phase = phase;
  figure.moment = moment_text;
  vantrel::SharedState& shared = vantrel::Shared();
  auto* dialog = new vantrel::testing::FakeMainDialog;
  dialog->SetText(vantrel::kDnsServerControl, dns_server);
  dialog->SetText(vantrel::kFromBox, kFrom);
  dialog->SetText(vantrel::kInputListBox, kListName);
  dialog->SelectErrorMode(vantrel::kRemoveButton);

  std::atomic<bool> returned{false};
  Clock::time_point returned_at;
  vantrel::RunEnd end = vantrel::RunEnd::kStopped;
  std::thread run([&] {
    end = vantrel::RunVerification(*dialog, vantrel::platform::RealFileSystem(), network);
    returned_at = Clock::now();
    returned.store(true);
  });
  figure.reached = PollUntil([&] { return returned.load() || moment(); }, bound_ms) && !returned.load();
  const Clock::time_point set_at = Clock::now();
  shared.stop_flag.store(1);
  run.join();
  if (figure.reached) {
    figure.run_s = std::chrono::duration<double>(returned_at - set_at).count();
    if (PollUntil([&] { return shared.running_tasks.load() == 0; }, 70000)) figure.tasks_s = Since(set_at);
  } else {
    const auto boxes = dialog->MessageBoxes();
    figure.note = std::string("the moment never came; the run ") +
                  (end == vantrel::RunEnd::kCompleted ? "completed" : end == vantrel::RunEnd::kRefused ? "was refused"
                                                                                                      : "stopped") +
                  (boxes.empty() ? std::string() : ": " + boxes.back().caption + " \"" + boxes.back().text.substr(0, 60) + "\"");
    PollUntil([&] { return shared.running_tasks.load() == 0; }, 70000);
  }
  return figure;
}

StopFigure DuringTaskStarts(const fs::path& base) {
  EnterFolder(base, "1-task-starts");
  WriteAddresses(10);
  const std::string mail = LoopbackAddress(11);
  FakeDnsServer dns(LoopbackAddress(53), MxZoneResponder({{kDomain, {{10, mail}}}}));
  vantrel::testing::FakeSmtpServer smtp(mail, {"220 bench\r\n", "250 hi\r\n", "250 ok\r\n", "250 ok\r\n"});
  return RunAndStop("1 task starts", "running_tasks >= 2", vantrel::platform::RealNetwork(), LoopbackAddress(53),
                    [] { return vantrel::Shared().running_tasks.load() >= 2; });
}

StopFigure InsideLongFetch(const fs::path& base) {
  EnterFolder(base, "2-long-fetch");
  WriteLongList();
  const std::string mail = LoopbackAddress(12);
  FakeDnsServer dns(LoopbackAddress(53), MxZoneResponder({{kDomain, {{10, mail}}}}));
  vantrel::testing::FakeSmtpServer smtp(mail, {"220 bench\r\n", "250 hi\r\n", "250 ok\r\n", "250 ok\r\n"});
  StopFigure figure =
      RunAndStop("2 long fetch", "result list > 8 MB of 3M lines", vantrel::platform::RealNetwork(),
                 LoopbackAddress(53), [] { return FileBytes(kResultList) > 8u * 1024 * 1024; });
  figure.note += (figure.note.empty() ? "" : "; ") + std::string("result list ") + std::to_string(FileBytes(kResultList) >> 20) + " MB at the end";
  fs::remove(kListName);
  fs::remove(kResultList);
  return figure;
}

StopFigure DuringDnsWait(const fs::path& base) {
  EnterFolder(base, "3-dns-wait");
  WriteAddresses(10);
  FakeDnsServer dns(LoopbackAddress(53), [](const std::string&) { return std::optional<std::string>(); });
  return RunAndStop("3 DNS wait", "silent DNS server got a query", vantrel::platform::RealNetwork(),
                    LoopbackAddress(53), [&] { return !dns.Queries().empty(); });
}

StopFigure DuringGreetingStream(const fs::path& base) {
  EnterFolder(base, "4-greeting-stream");
  WriteAddresses(200);
  const std::string mail = LoopbackAddress(14);
  FakeDnsServer dns(LoopbackAddress(53), MxZoneResponder({{kDomain, {{10, mail}}}}));
  EndlessGreetingServer stream(mail);
  return RunAndStop("4 greeting stream", "server sent > 1 MB", vantrel::platform::RealNetwork(),
                    LoopbackAddress(53), [&] { return stream.sent() > 1024 * 1024; });
}

StopFigure WhileConnecting(const fs::path& base) {
  EnterFolder(base, "5-connecting");
  WriteAddresses(1);
  const std::string mail = LoopbackAddress(15);
  FakeDnsServer dns(LoopbackAddress(53), MxZoneResponder({{kDomain, {{10, mail}}}}));
  UnansweredListener listener(mail);
  if (!listener.listening() || !listener.ConnectHangs(1000)) {
    StopFigure figure;
    figure.phase = "5 connecting";
    figure.note = "a connect to a full backlog-0 queue does not hang on this kernel";
    return figure;
  }
  WatchedNetwork network;
  StopFigure figure = RunAndStop("5 connecting", "1 s after connect began", network, LoopbackAddress(53), [&] {
    return network.began() && Clock::now() - network.began_at() >= std::chrono::seconds(1);
  });
  figure.note = std::string("checked: connect hangs; opened before stop: ") + (network.opened() ? "yes" : "no");
  return figure;
}

StopFigure OneBytePerFiveSeconds(const fs::path& base) {
  EnterFolder(base, "6-trickle");
  WriteAddresses(1);
  const std::string mail = LoopbackAddress(16);
  FakeDnsServer dns(LoopbackAddress(53), MxZoneResponder({{kDomain, {{10, mail}}}}));
  TrickleServer trickle(mail, 5000);
  Clock::time_point second_byte;
  bool seen = false;
  return RunAndStop("6 byte per 5 s", "1 s after the 2nd byte", vantrel::platform::RealNetwork(),
                    LoopbackAddress(53), [&] {
                      if (!seen && trickle.sent() >= 2) {
                        seen = true;
                        second_byte = Clock::now();
                      }
                      return seen && Clock::now() - second_byte >= std::chrono::seconds(1);
                    });
}

void PrintStops(const std::vector<StopFigure>& figures) {
  std::printf("\nTime to stop (product waits; flag set at the moment shown)\n");
  std::printf("  %-18s %-32s %9s %9s  %s\n", "phase", "flag set when", "run ret.", "tasks 0", "note");
  for (const StopFigure& f : figures) {
    auto cell = [](double s) {
      char text[32];
      if (s < 0) return std::string("-");
      std::snprintf(text, sizeof text, "%.3f s%s", s, s >= 1.0 ? "!" : "");
      return std::string(text);
    };
    std::printf("  %-18s %-32s %9s %9s  %s\n", f.phase.c_str(), f.moment.c_str(), cell(f.run_s).c_str(),
                cell(f.tasks_s).c_str(), f.note.c_str());
  }
  std::printf("  (! marks a second or more)\n");
}

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
                 const std::function<bool(Clock::time_point)>& moment) {
  const pid_t child = ::fork();
  if (child == 0) {
    int out = ::open("console.out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(out, STDERR_FILENO);
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
    vantrel::testing::FakeSmtpServer smtp(mail, {"220 bench\r\n", "250 hi\r\n", "250 ok\r\n", "250 ok\r\n"});
    // Ten tasks start 300 ms apart from the program's start on.
    ConsoleExit(console, "1 task starts", dns_address,
                [](Clock::time_point started) { return Since(started) >= 0.8; });
  }
  {
    EnterFolder(base, "console-2");
    WriteLongList();
    const std::string mail = LoopbackAddress(22);
    FakeDnsServer dns(dns_address, MxZoneResponder({{kDomain, {{10, mail}}}}));
    vantrel::testing::FakeSmtpServer smtp(mail, {"220 bench\r\n", "250 hi\r\n", "250 ok\r\n", "250 ok\r\n"});
    ConsoleExit(console, "2 long fetch", dns_address,
                [](Clock::time_point) { return FileBytes(kResultList) > 8u * 1024 * 1024; });
    fs::remove(kListName);
    fs::remove(kResultList);
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
  StopFigure figure = RunAndStop("memory", "60 s", vantrel::platform::RealNetwork(), LoopbackAddress(53), [&] {
    if (next < 3 && Since(start) >= marks[next]) {
      std::printf("  %5ds %8.1f MiB %8.1f MiB %10llu KiB %10zu KiB %12d %8.1f MiB\n", marks[next],
                  StatusMiB("VmHWM:"), StatusMiB("VmRSS:"),
                  static_cast<unsigned long long>(FileBytes("vantrel.log") >> 10), vantrel::LogBufferSize() >> 10,
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

  if (only.empty() || only == "stops") {
    std::vector<StopFigure> figures;
    StopFigure (*const all[])(const fs::path&) = {DuringTaskStarts,     InsideLongFetch, DuringDnsWait,
                                                  DuringGreetingStream, WhileConnecting, OneBytePerFiveSeconds};
    for (int n = 1; n <= 6; ++n) {
      if (!phases.empty() && std::find(phases.begin(), phases.end(), std::to_string(n)) == phases.end()) continue;
      figures.push_back(all[n - 1](base));
      std::fprintf(stderr, "%s done\n", figures.back().phase.c_str());
    }
    PrintStops(figures);
  }
  if (only.empty() || only == "console") ConsoleExits(base, console);
  if (only.empty() || only == "memory") MemoryUnderStream(base);
  std::fflush(stdout);
  ::chdir("/");
  std::error_code ignored;
  fs::remove_all(base, ignored);
  return 0;
}
