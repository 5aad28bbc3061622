// The scenarios the Wine driver runs against Vantrel.exe, one function each.
#pragma once

#include <string>

#include "tests/support/settings_file.h"
#include "tests/wine/session.h"

namespace vantrel::wine_test {

void FirstStartShowsTheDefaults(const Settings& settings, Checks& checks);
void SettingsAreLoadedAndSavedBack(const Settings& settings, Checks& checks);
void KeyboardAndBrowsing(const Settings& settings, Checks& checks);
void MissingListIsReported(const Settings& settings, Checks& checks);
void WholeRunAgainstLoopbackServers(const Settings& settings, Checks& checks);
void ClosingDuringADialogueStopsItInTime(const Settings& settings, Checks& checks);
void ClosingWithAnUnwritableResultListSaysSo(const Settings& settings, Checks& checks);
void MinimizedCloseSavesTheNormalPosition(const Settings& settings, Checks& checks);
void ClosingWithEveryTaskIdleWarnsAboutNone(const Settings& settings, Checks& checks);
void WindowAtTheSystemDpi(const Settings& settings, Checks& checks);
void TenFastTasksKeepTheWindowCurrent(const Settings& settings, Checks& checks);

using vantrel::testing::SettingsFile;

}  // namespace vantrel::wine_test
