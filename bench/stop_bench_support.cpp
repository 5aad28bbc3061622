// The stop benchmark's shared pieces (stop_bench.h).
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "bench/stop_bench.h"
#include "probe/shared_state.h"
#include "run/run_controller.h"
#include "tests/support/fake_main_dialog.h"

namespace vantrel::bench {

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool PollUntil(const std::function<bool()>& done, int bound_ms) {
  auto until = Clock::now() + std::chrono::milliseconds(bound_ms);
  while (!done()) {
    if (Clock::now() > until) return false;
    Pause(1);
  }
  return true;
}

bool EnterFolder(const fs::path& base, const std::string& name) {
  std::error_code error;
  fs::create_directories(base / name, error);
  return !error && ::chdir((base / name).c_str()) == 0;
}

void WriteAddresses(int count) {
  std::ofstream list(kListName, std::ios::binary);
  for (int i = 0; i < count; ++i) list << "member" << i << "@" << kDomain << "\r\n";
}

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

StopFigure RunAndStop(const std::string& phase, const std::string& moment_text, platform::Network& network,
                      const std::string& dns_server, const std::function<bool()>& moment, int bound_ms) {
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

}  // namespace vantrel::bench
