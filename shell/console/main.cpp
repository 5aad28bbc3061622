// vantrel: the dialog's job on a terminal. Loads Vantrel.INI, applies the
// options as if typed into the controls, presses Go once, then closes the
// window, which saves the settings. Output that can no longer be written
// (a closed pipe, a terminal gone) stops; the run and its end go on.
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "probe/shared_state.h"
#include "settings/settings.h"
#include "shell/console/console_dialog.h"
#include "shell/console/console_view.h"
#include "shell/console/options.h"
#include "shell/console/report_file.h"
#include "shell/console/run_watch.h"
#include "shell/lifecycle.h"

namespace {

using vantrel::console::ConsoleDialog;
using vantrel::console::ConsoleView;

std::atomic<int> g_signal{0};
std::atomic<bool> g_stdout_gone{false};
std::atomic<bool> g_stderr_gone{false};

// After the first failed write a stream is left alone: nobody reads it.
void Write(std::FILE* stream, std::string_view bytes) {
  std::atomic<bool>& gone = stream == stdout ? g_stdout_gone : g_stderr_gone;
  if (gone.load()) return;
  if (std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size() || std::fflush(stream) != 0) {
    gone.store(true);
  }
}

int TerminalWidth() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

// SIGINT, SIGTERM and SIGWINCH are blocked in every thread (the tasks
// inherit the mask from here) and taken by one thread that only records
// them, so no socket wait anywhere is cut short by EINTR. The first SIGINT
// or SIGTERM closes the window at the run's next message step; a second one
// ends the program at once. SIGPIPE is ignored: a closed pipe shows as a
// failed write.
void StartSignalWatcher(ConsoleDialog* dialog, ConsoleView* view) {
  std::signal(SIGPIPE, SIG_IGN);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGWINCH);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals, dialog, view] {
    for (;;) {
      int signal_number = 0;
      if (sigwait(&signals, &signal_number) != 0) continue;
      if (signal_number == SIGWINCH) {
        view->Resized();
        continue;
      }
      int expected = 0;
      if (!g_signal.compare_exchange_strong(expected, signal_number)) {
        Write(stderr, "vantrel: interrupted again, ending now\n");
        std::_Exit(128 + expected);
      }
      dialog->RequestClose();
    }
  }).detach();
}

void ApplyOptions(const vantrel::console::Options& options, ConsoleDialog& dialog) {
  if (options.from) dialog.SetText(vantrel::kFromBox, *options.from);
  if (options.list) dialog.SetText(vantrel::kInputListBox, *options.list);
  if (options.dns) dialog.SetText(vantrel::kDnsServerControl, *options.dns);
  if (options.error_button) dialog.SelectErrorMode(*options.error_button);
}

}  // namespace

int main(int argc, char** argv) {
  using vantrel::console::kUsage;
  vantrel::console::ParseResult parsed = vantrel::console::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.error.empty()) {
    Write(stderr, "vantrel: " + vantrel::console::Printable(parsed.error) + "\n\n" + kUsage);
    return 2;
  }
  if (parsed.options.help) {
    Write(stdout, kUsage);
    return 0;
  }
  if (parsed.options.version) {
    Write(stdout, std::string(vantrel::console::kVersionText) + "\n");
    return 0;
  }

  const vantrel::console::Options& options = parsed.options;
  // Neither is ever destroyed: a task that outlives the exit sequence may
  // still look the window up until the process ends.
  ConsoleView::Mode mode = options.quiet                        ? ConsoleView::Mode::kQuiet
                           : ::isatty(STDOUT_FILENO) == 1 ? ConsoleView::Mode::kPanel
                                                          : ConsoleView::Mode::kLines;
  auto* view = new ConsoleView({[](std::string_view s) { Write(stdout, s); },
                                [](std::string_view s) { Write(stderr, s); }},
                               mode, TerminalWidth);
  auto* dialog = new ConsoleDialog(*view);
  StartSignalWatcher(dialog, view);

  vantrel::console::ProgressTally progress(*view);
  vantrel::console::StopNotice stop_notice;
  vantrel::console::ObserverList observers;
  observers.Add(&progress);
  observers.Add(&stop_notice);
  vantrel::RunOptions run_options;
  run_options.helo_name = options.helo.value_or("");
  run_options.accept_all_check = options.accept_all_check;
  run_options.proxy = options.proxy;
  run_options.observer = &observers;

  vantrel::LoadSettingsAtStart(*dialog);
  ApplyOptions(options, *dialog);
  // The run opens the report once its own checks have passed; a report that
  // would be one of the run's own files is refused before anything, the
  // settings included, is written.
  std::unique_ptr<vantrel::console::ReportFile> report;
  if (options.report) {
    std::string clash = vantrel::console::ReportClash(vantrel::platform::RealFileSystem(), *options.report,
                                                      dialog->GetText(vantrel::kInputListBox));
    if (!clash.empty()) {
      Write(stderr, "vantrel: the report \"" + vantrel::console::Printable(*options.report) + "\" is " +
                        vantrel::console::Printable(clash) + "; give --report a file of its own\n");
      return 1;
    }
    report = std::make_unique<vantrel::console::ReportFile>(vantrel::platform::RealFileSystem(), *options.report);
    observers.Add(report.get());
  }
  dialog->SetCloseHandler([dialog] { vantrel::RunExitSequence(*dialog); });
  vantrel::RegisterMainDialog(dialog);

  vantrel::RunEnd end = vantrel::PressGoButton(*dialog, vantrel::platform::RealFileSystem(), run_options);
  dialog->Close();  // no-op when a signal already closed it during the run
  view->Finish();
  if (!stop_notice.text().empty()) Write(stdout, stop_notice.text() + "\n");
  if (report) report->Flush();
  if (report && report->OpenFailed()) {
    Write(stderr, "vantrel: cannot write the report \"" + vantrel::console::Printable(*options.report) + "\"\n");
  } else if (report && report->Failed()) {
    Write(stderr, "vantrel: not every row could be written to the report \"" +
                      vantrel::console::Printable(report->name()) + "\"; it is incomplete\n");
  }

  int code = 1;
  if (stop_notice.WriteFailed()) {
    code = 1;  // the result list is not whole: worse than an interruption
  } else if (g_signal.load() != 0) {
    code = 128 + g_signal.load();
  } else if (end == vantrel::RunEnd::kCompleted) {
    code = 0;
  }
  // Tasks the exit could not stop would otherwise race the static destructors.
  if (vantrel::Shared().running_tasks.load() > 0) {
    std::fflush(nullptr);
    std::_Exit(code);
  }
  return code;
}
