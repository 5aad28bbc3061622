// The settings file "Vantrel.INI": read into the dialog's controls at start-up,
// written back from them at exit. The dialog is the settings' only home: its
// controls, and the proxy it keeps without one (kProxySetting).
#pragma once

#include <string>

#include "platform/file.h"
#include "dialog/main_dialog.h"

namespace vantrel {

inline constexpr char kSettingsFileName[] = "Vantrel.INI";

// What loading found. A file that is there but could not be read whole
// must not be overwritten at exit with values that never came from it.
enum class SettingsLoad {
  kRead,        // the file was read to its end
  kMissing,     // no settings file: the defaults apply
  kUnreadable,  // the file exists but could not be read whole: the defaults apply
};

SettingsLoad LoadSettings(MainDialog& dialog, platform::FileSystem& files = platform::RealFileSystem());
void SaveSettings(MainDialog& dialog, platform::FileSystem& files = platform::RealFileSystem());

// The bytes SaveSettings writes for the dialog as it stands.
std::string SettingsFileText(MainDialog& dialog);

}  // namespace vantrel
