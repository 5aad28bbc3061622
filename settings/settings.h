// The settings file "Vantrel.INI": read into the dialog's controls at start-up,
// written back from them at exit. The controls are the settings' only home.
#pragma once

#include <string>

#include "platform/file.h"
#include "dialog/main_dialog.h"

namespace vantrel {

inline constexpr char kSettingsFileName[] = "Vantrel.INI";

void LoadSettings(MainDialog& dialog, platform::FileSystem& files = platform::RealFileSystem());
void SaveSettings(MainDialog& dialog, platform::FileSystem& files = platform::RealFileSystem());

// The bytes SaveSettings writes for the dialog as it stands.
std::string SettingsFileText(MainDialog& dialog);

}  // namespace vantrel
