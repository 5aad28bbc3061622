// Stops during each phase of a run: the stop flag is set, as the window's
// exit sets it, at a moment of the phase, and the table gives the time until
// RunVerification returned and until the last task ended.
#include <algorithm>
#include <cstdio>
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

// The system network, noting when the first connection began to open and
// whether it opened.
class WatchedNetwork : public platform::SystemNetwork {
 public:
  std::unique_ptr<platform::ByteStream> ConnectTcp(std::uint32_t address, std::uint16_t port, int wait_ms,
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

StopFigure DuringTaskStarts(const fs::path& base) {
  EnterFolder(base, "1-task-starts");
  WriteAddresses(10);
  const std::string mail = LoopbackAddress(11);
  FakeDnsServer dns(LoopbackAddress(53), MxZoneResponder({{kDomain, {{10, mail}}}}));
  testing::FakeSmtpServer smtp(mail, {"220 bench\r\n", "250 hi\r\n", "250 ok\r\n", "250 ok\r\n"});
  return RunAndStop("1 task starts", "running_tasks >= 2", platform::RealNetwork(), LoopbackAddress(53),
                    [] { return Shared().running_tasks.load() >= 2; });
}

StopFigure InsideLongFetch(const fs::path& base) {
  EnterFolder(base, "2-long-fetch");
  WriteLongList();
  const std::string mail = LoopbackAddress(12);
  FakeDnsServer dns(LoopbackAddress(53), MxZoneResponder({{kDomain, {{10, mail}}}}));
  testing::FakeSmtpServer smtp(mail, {"220 bench\r\n", "250 hi\r\n", "250 ok\r\n", "250 ok\r\n"});
  StopFigure figure =
      RunAndStop("2 long fetch", "result list > 8 MB of 3M lines", platform::RealNetwork(),
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
  return RunAndStop("3 DNS wait", "silent DNS server got a query", platform::RealNetwork(),
                    LoopbackAddress(53), [&] { return !dns.Queries().empty(); });
}

StopFigure DuringGreetingStream(const fs::path& base) {
  EnterFolder(base, "4-greeting-stream");
  WriteAddresses(200);
  const std::string mail = LoopbackAddress(14);
  FakeDnsServer dns(LoopbackAddress(53), MxZoneResponder({{kDomain, {{10, mail}}}}));
  EndlessGreetingServer stream(mail);
  return RunAndStop("4 greeting stream", "server sent > 1 MB", platform::RealNetwork(),
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
  return RunAndStop("6 byte per 5 s", "1 s after the 2nd byte", platform::RealNetwork(),
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

}  // namespace

void StopPhases(const fs::path& base, const std::vector<std::string>& phases) {
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

}  // namespace vantrel::bench
