// The scenarios the Wine driver runs against Vantrel.exe, one function each.
#pragma once

#include <string>

#include "tests/wine/session.h"

namespace vantrel::wine_test {

void FirstStartShowsTheDefaults(const Settings& settings, Checks& checks);
void SettingsAreLoadedAndSavedBack(const Settings& settings, Checks& checks);
void KeyboardAndBrowsing(const Settings& settings, Checks& checks);
void MissingListIsReported(const Settings& settings, Checks& checks);
void WholeRunAgainstLoopbackServers(const Settings& settings, Checks& checks);
void ClosingDuringRunWarnsAboutTasks(const Settings& settings, Checks& checks);
void MinimizedCloseSavesTheNormalPosition(const Settings& settings, Checks& checks);
void ClosingWithEveryTaskIdleWarnsAboutNone(const Settings& settings, Checks& checks);

// The settings file as the program writes it; error 0 leaves out the ERROR line.
std::string SettingsFile(const std::string& location, int body, const std::string& dns, int error,
                         const std::string& file, const std::string& from);

}  // namespace vantrel::wine_test
