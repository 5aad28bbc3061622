// Loads a settings file of any bytes into the dialog's test double, saves
// the controls, loads what was saved into a second double, and checks that
// both show the same: what the system writes it must read back unchanged.
// Shared by the fuzzer and the test suite that replays its corpus. The input
// is the file itself; its length chooses the size of each read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "dialog/main_dialog.h"
#include "settings/settings.h"
#include "tests/support/fake_main_dialog.h"
#include "tests/support/memory_file_system.h"

namespace vantrel::fuzz {

// What a user sees of the settings, in one comparable text.
inline std::string SettingsControls(MainDialog& dialog) {
  DialogPoint corner = dialog.GetPosition();
  std::string shown = "from=" + dialog.GetText(kFromBox) + "|list=" + dialog.GetText(kInputListBox) +
                      "|dns=" + dialog.GetText(kDnsServerControl) + "|body=" + std::to_string(dialog.GetBodyCheck()) +
                      "|at=" + std::to_string(corner.x) + ":" + std::to_string(corner.y) + "|errors=";
  for (int button : {kRemoveButton, kSuspendButton, kWriteToFileButton}) {
    shown += dialog.IsErrorModeSelected(button) ? '1' : '0';
  }
  return shown;
}

// Empty when the settings came back as saved, else what changed.
inline std::string CheckSettings(const std::uint8_t* data, std::size_t size) {
  testing::MemoryFileSystem files;
  files.read_piece = 1 + size % 17;
  files.files[kSettingsFileName] = std::string(reinterpret_cast<const char*>(data), size);

  testing::FakeMainDialog loaded;
  (void)LoadSettings(loaded, files);
  SaveSettings(loaded, files);
  const std::string saved = files.files[kSettingsFileName];

  testing::FakeMainDialog reloaded;
  (void)LoadSettings(reloaded, files);
  const std::string first = SettingsControls(loaded);
  const std::string second = SettingsControls(reloaded);
  if (first != second) return "loaded " + first + ", after a save " + second;

  SaveSettings(reloaded, files);
  if (files.files[kSettingsFileName] != saved) return "saving what was loaded from a saved file changed it";
  return std::string();
}

}  // namespace vantrel::fuzz
