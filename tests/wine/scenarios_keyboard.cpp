// The keyboard and the browse button: Enter presses the default button,
// Escape closes nothing, and the open-file dialog fills the Input List box.
#include <windows.h>

#include "dialog/main_dialog.h"
#include "tests/wine/remote_window.h"
#include "tests/wine/scenarios.h"

namespace vantrel::wine_test {

namespace {

constexpr int kFileNameCombo = 0x47C;  // cmb13 of the open-file dialog
constexpr int kFileNameEdit = 0x480;   // edt1, where a dialog has no combo box

void PostKey(HWND window, WPARAM key) {
  PostMessageA(window, WM_KEYDOWN, key, 1);
  PostMessageA(window, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001));
}

HWND FileNameField(HWND box) {
  if (HWND combo = GetDlgItem(box, kFileNameCombo)) {
    if (HWND edit = FindWindowExA(combo, nullptr, "Edit", nullptr)) return edit;
    return combo;
  }
  return GetDlgItem(box, kFileNameEdit);
}

// Opens the browse dialog, and either confirms name or cancels.
bool Browse(Session& vantrel, Checks& checks, const std::string* name) {
  vantrel.Press(kBrowseButton);
  HWND box = vantrel.WaitForMessageBox("Open File");
  if (!checks.Expect(box != nullptr, "the open-file dialog appears")) return false;
  if (name == nullptr) {
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDCANCEL)));
  } else {
    HWND field = FileNameField(box);
    if (!checks.Expect(field != nullptr, "the open-file dialog has a file name field")) return false;
    SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name->c_str()));
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  }
  return checks.Expect(WaitUntil([&] { return vantrel.FindMessageBox("Open File") == nullptr; }),
                       "the open-file dialog goes away");
}

}  // namespace

void KeyboardAndBrowsing(const Settings& settings, Checks& checks) {
  std::string folder = ScenarioFolder(settings, "keyboard-and-browsing");
  std::string lists = JoinPath(folder, "lists");
  CreateDirectoryA(lists.c_str(), nullptr);
  std::string chosen = JoinPath(lists, "chosen.lst");
  WriteWholeFile(chosen, "someone@ok.test\r\n");
  WriteWholeFile(JoinPath(folder, "Vantrel.INI"), "DNS=127.0.0.1\r\nFILE=missing.lst\r\n");
  Session vantrel(settings.vantrel_exe, folder, checks);
  if (!vantrel.started()) return;
  HWND from = vantrel.Control(kFromBox);

  // Posted messages arrive in order: once the About box is up, Escape has
  // been handled before it.
  PostKey(from, VK_ESCAPE);
  vantrel.Press(kAboutButton);
  HWND about = vantrel.WaitForMessageBox("About Vantrel");
  checks.Expect(about != nullptr && IsWindowVisible(vantrel.dialog()), "Escape leaves the window open");
  if (about != nullptr) Session::Dismiss(about);
  checks.Expect(WaitUntil([&] { return vantrel.FindMessageBox("About Vantrel") == nullptr; }),
                "the About box goes away when dismissed");

  PostKey(from, VK_RETURN);
  HWND error = vantrel.WaitForMessageBox("Error");
  if (checks.Expect(error != nullptr, "Enter in the FROM box presses Go")) Session::Dismiss(error);
  checks.Expect(WaitUntil([&] { return vantrel.Text(kGoButton) == "&Go" && vantrel.IsEnabled(kGoButton); }),
                "the Go button is back after Enter");

  if (Browse(vantrel, checks, nullptr)) {
    checks.ExpectEqual(vantrel.Text(kInputListBox), "missing.lst", "cancelling leaves the Input List box");
  }
  if (Browse(vantrel, checks, &chosen)) {
    checks.ExpectEqual(vantrel.Text(kInputListBox), chosen, "the chosen file's full path");
  }

  vantrel.Close();
  DWORD code = 1;
  checks.Expect(vantrel.WaitForExit(20000, &code) && code == 0, "the program ends with code 0");
  // Browsing moved the dialog's folder; the settings still go where the program started.
  checks.ExpectEqual(ReadWholeFile(JoinPath(folder, "Vantrel.INI")),
                     SettingsFile("85:66", 0, "127.0.0.1", 0, chosen, "<you@example.com>"),
                     "settings written in the start folder");
  checks.Expect(!FileExists(JoinPath(lists, "Vantrel.INI")), "no settings file in the browsed folder");
}

}  // namespace vantrel::wine_test
