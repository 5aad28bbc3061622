// vantrel: the dialog's job on a terminal. Loads Vantrel.INI, applies the
// options as if typed into the controls, presses Go once, then closes the
// window, which saves the settings.
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "probe/shared_state.h"
#include "settings/settings.h"
#include "shell/console/console_dialog.h"
#include "shell/console/console_view.h"
#include "shell/console/options.h"
#include "shell/lifecycle.h"

namespace {

using vantrel::console::ConsoleDialog;
using vantrel::console::ConsoleView;

std::atomic<int> g_signal{0};

void Write(std::FILE* stream, std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  std::fflush(stream);
}

int TerminalWidth() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

// SIGINT and SIGTERM are blocked in every thread (the tasks inherit the mask
// from here) and taken by one thread that only records them, so no socket
// wait anywhere is cut short by EINTR. The first signal closes the window at
// the run's next message step; a second one ends the program at once.
void StartSignalWatcher(ConsoleDialog* dialog) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals, dialog] {
    for (;;) {
      int signal_number = 0;
      if (sigwait(&signals, &signal_number) != 0) continue;
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

  // Neither is ever destroyed: a task that outlives the exit sequence may
  // still look the window up until the process ends.
  auto* view = new ConsoleView({[](std::string_view s) { Write(stdout, s); },
                                [](std::string_view s) { Write(stderr, s); }},
                               ::isatty(STDOUT_FILENO) == 1, TerminalWidth());
  auto* dialog = new ConsoleDialog(*view);
  StartSignalWatcher(dialog);

  vantrel::LoadSettingsAtStart(*dialog);
  ApplyOptions(parsed.options, *dialog);
  dialog->SetCloseHandler([dialog] { vantrel::RunExitSequence(*dialog); });
  vantrel::RegisterMainDialog(dialog);

  vantrel::RunEnd end = vantrel::PressGoButton(*dialog);
  dialog->Close();  // no-op when a signal already closed it during the run
  view->Finish();

  int code = 1;
  if (g_signal.load() != 0) {
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
