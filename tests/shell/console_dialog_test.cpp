#include "shell/console/console_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "settings/settings.h"
#include "tests/support/settings_file.h"

namespace vantrel::console {
namespace {

struct Harness {
  std::string out;
  ConsoleView view{{[this](std::string_view s) { out += s; }, [this](std::string_view s) { out += s; }}, false, 80};
  ConsoleDialog dialog{view};
};

TEST(ConsoleDialog, StartsInTheDialogsBuildState) {
  Harness h;
  EXPECT_EQ(SettingsFileText(h.dialog),
            testing::SettingsFile("85:66", 0, "192.168.1.1", 0, "MEMBERS.LST", kFromPlaceholder));
  EXPECT_EQ(h.dialog.GetText(kGoButton), "&Go");
  EXPECT_FALSE(h.dialog.IsEnabled(kBodyCheckBox));
  EXPECT_TRUE(h.dialog.IsEnabled(kFromBox));
}

TEST(ConsoleDialog, OneErrorModeAtATimeAndOnlyTheThreeButtons) {
  Harness h;
  const std::vector<int> buttons = {kRemoveButton, kSuspendButton, kWriteToFileButton};
  for (int chosen : buttons) {
    h.dialog.SelectErrorMode(chosen);
    for (int button : buttons) EXPECT_EQ(h.dialog.IsErrorModeSelected(button), button == chosen);
  }
  h.dialog.SelectErrorMode(kGoButton);
  EXPECT_TRUE(h.dialog.IsErrorModeSelected(kWriteToFileButton));
}

TEST(ConsoleDialog, CloseRequestRunsTheHandlerOnceFromTheMessageStep) {
  Harness h;
  int closes = 0;
  h.dialog.SetCloseHandler([&] {
    ++closes;
    h.dialog.ProcessOneMessage();  // the exit sequence never re-enters itself
    h.dialog.SetStatusText("Status: Terminating all active tasks.");
  });
  h.dialog.ProcessOneMessage();
  EXPECT_EQ(closes, 0);

  std::thread([&] { h.dialog.RequestClose(); }).join();
  h.dialog.ProcessOneMessage();
  h.dialog.ProcessOneMessage();
  h.dialog.Close();
  EXPECT_EQ(closes, 1);
  EXPECT_TRUE(h.dialog.Closed());

  // The window is gone: what the Go button and late tasks do has no effect.
  h.dialog.SetText(kGoButton, "&Stop");
  h.dialog.Enable(kGoButton, false);
  h.dialog.SetStatusText("Status: late");
  h.dialog.SetTaskCell(0, 1, "late");
  EXPECT_EQ(h.dialog.GetText(kGoButton), "&Go");
  EXPECT_TRUE(h.dialog.IsEnabled(kGoButton));
  EXPECT_EQ(h.out, "Status: Terminating all active tasks.\n");
}

}  // namespace
}  // namespace vantrel::console
