#include "shell/lifecycle.h"

#include <string>

#include "platform/thread.h"
#include "probe/shared_state.h"
#include "settings/settings.h"

namespace vantrel {

const char kAboutText[] =
    "Halvord Group Vantrel\r\n"
    "\r\n"
    "This tool is deisgned to validate all of the email\r\n"
    "addresses in a list to ensure there are no errors\r\n"
    "when trying to deliver a message.\r\n"
    "\r\n"
    "The owner of the email address will not know their\r\n"
    "address has been tested until the SEND BODY\r\n"
    "option is selected.\r\n";

namespace {

// One start-up per process: written by the face before its window is shown,
// read by the exit sequence, both on the dialog's thread.
SettingsLoad g_settings_at_start = SettingsLoad::kMissing;

}  // namespace

SettingsLoad LoadSettingsAtStart(MainDialog& dialog, platform::FileSystem& files) {
  g_settings_at_start = LoadSettings(dialog, files);
  return g_settings_at_start;
}

RunEnd PressGoButton(MainDialog& dialog, platform::FileSystem& files, const RunOptions& options) {
  if (dialog.GetText(kGoButton) != "&Go") {
    dialog.SetText(kGoButton, "&Go");
    return RunEnd::kRefused;
  }
  dialog.Enable(kGoButton, false);
  dialog.SetText(kGoButton, "&Stop");
  RunEnd end = RunVerification(dialog, files, platform::RealNetwork(), options);
  // After an exit during the run these reach a window that is gone; the
  // front ends make that harmless.
  dialog.SetText(kGoButton, "&Go");
  dialog.Enable(kGoButton, true);
  return end;
}

void ShowAboutBox(MainDialog& dialog) { dialog.ShowMessageBox(kAboutText, kAboutCaption, MessageIcon::kNone); }

int RunExitSequence(MainDialog& dialog, platform::FileSystem& files) {
  SharedState& shared = Shared();
  shared.stop_flag = -1;
  ShowStatus("Terminating all active tasks.");
  // The defaults shown after a failed read would replace the user's settings.
  if (g_settings_at_start != SettingsLoad::kUnreadable) SaveSettings(dialog, files);
  // Tasks still running after the wait are suspended, and on Windows the
  // process then ends at once: the run's files must be whole before that.
  SaveStoppedRun();
  platform::SleepMs(shared.waits.exit_wait_ms);
  int running = shared.running_tasks.load();
  if (running > 0) {
    dialog.ShowMessageBox("There are " + std::to_string(running) + " tasks still running.", "Warning",
                          MessageIcon::kNone);
  }
  if (shared.running_tasks.load() > 0) {
    for (int i = kTaskSlots - 1; i >= 0; --i) {
      platform::ThreadHandle thread = shared.thread_handles[static_cast<std::size_t>(i)].exchange(0);
      platform::SuspendThread(thread);
      platform::SleepMs(shared.waits.suspend_pause_ms);
      platform::CloseThread(thread);
      platform::SleepMs(shared.waits.suspend_pause_ms);
    }
  }
  return running;
}

}  // namespace vantrel
