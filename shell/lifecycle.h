// What the main dialog does with its buttons and at its end, whatever window
// system shows it: the Go button around a run, the About box and the exit
// sequence. The Win32 dialog and the console front end both call these.
#pragma once

#include "platform/file.h"
#include "run/run_controller.h"
#include "settings/settings.h"
#include "dialog/main_dialog.h"

namespace vantrel {

inline constexpr char kAboutCaption[] = "About Vantrel";
extern const char kAboutText[];

// The Go button: "&Go" starts a run and relabels the button "&Stop" while it
// lasts; any other caption is set back to "&Go". Returns how the run ended,
// or kRefused when no run was started.
RunEnd PressGoButton(MainDialog& dialog, platform::FileSystem& files = platform::RealFileSystem(),
                     const RunOptions& options = {});

void ShowAboutBox(MainDialog& dialog);

// Loads the settings into the dialog at start-up and remembers what was
// found, so that the exit sequence knows whether it may write the file.
SettingsLoad LoadSettingsAtStart(MainDialog& dialog, platform::FileSystem& files = platform::RealFileSystem());

// Tells the run and the tasks to stop, saves the settings (unless the file
// was there at start-up but could not be read), has the run under way put
// back every line it has not decided, gives the tasks a moment, warns
// about those still running and stops them in one pass.
// Returns the number of tasks that were still running after the wait.
int RunExitSequence(MainDialog& dialog, platform::FileSystem& files = platform::RealFileSystem());

}  // namespace vantrel
