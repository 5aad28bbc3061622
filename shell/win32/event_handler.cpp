// What the main dialog does with its messages: the Go and About buttons, the
// browse button, the status bar's layout, the focus across deactivation, a
// move to a monitor of another DPI, and the exit sequence when the window is
// destroyed or the session ends.
#include <string>

#include "platform/file.h"
#include "shell/lifecycle.h"
#include "dialog/main_dialog.h"
#include "shell/win32/main_window.h"
#include "shell/win32/open_file.h"
#include "shell/win32/win32_main_dialog.h"

namespace vantrel::win32 {

namespace {

constexpr WORD kKeyboardCommand = 1;  // a command that came from an accelerator

// The control that had the keyboard focus when the dialog was last deactivated.
HWND g_remembered_focus = nullptr;

// The exit sequence runs once, whichever comes first: the window's end or
// the session's.
bool g_exit_done = false;

void ExitSequence() {
  if (g_exit_done) return;
  g_exit_done = true;
  int still_running = RunExitSequence(TheMainDialog());
  // Tasks were suspended wherever they stood, perhaps holding a lock that
  // the run's way out, the C runtime's exit or a DLL's detach would need:
  // end now, running nothing more of this process.
  if (still_running > 0) TerminateProcess(GetCurrentProcess(), 0);
}

bool IsPress(WORD code) { return code == BN_CLICKED || code == kKeyboardCommand; }

void BrowseForMemberList(HWND window) {
  char folder[MAX_PATH] = "";
  DWORD length = GetCurrentDirectoryA(MAX_PATH, folder);
  if (length == 0 || length >= MAX_PATH) folder[0] = '\0';  // empty: the dialog takes the current one
  std::string name = "*.lst";
  DWORD flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_LONGNAMES;
  bool confirmed = ShowOpenFileDialog(window, "Open File", &name, folder,
                                      "List Files (*.lst)|*.lst|Text Files (*.txt)|*.txt|All Files|*.*", "txt", &flags);
  // The file dialog moves the current directory to where the user browsed;
  // the settings file and the run log belong where the program was started.
  if (folder[0] != '\0') SetCurrentDirectoryA(folder);
  if (confirmed && platform::RealFileSystem().IsPlainFile(name)) TheMainDialog().SetText(kInputListBox, name);
}

void OnCommand(HWND window, WORD id, WORD code) {
  switch (id) {
    case kGoButton:
      if (IsPress(code)) PressGoButton(TheMainDialog());
      break;
    case kAboutButton:
      if (IsPress(code)) ShowAboutBox(TheMainDialog());
      break;
    case kBrowseButton:
      if (IsPress(code)) BrowseForMemberList(window);
      break;
    default:
      break;
  }
}

void OnNcActivate(HWND window, WPARAM active) {
  if (active == 0) {
    HWND focus = GetFocus();
    g_remembered_focus = focus != nullptr && IsChild(window, focus) ? focus : nullptr;
  } else if (g_remembered_focus != nullptr) {
    SetFocus(g_remembered_focus);
    g_remembered_focus = nullptr;
  }
}

}  // namespace

INT_PTR MainDialogEvents(HWND window, UINT message, WPARAM first, LPARAM second) {
  switch (message) {
    case WM_INITDIALOG:
      break;
    case WM_SIZE:
      if (HWND bar = GetDlgItem(window, kStatusBar)) SendMessageA(bar, WM_SIZE, first, second);
      break;
    case WM_NCACTIVATE:
      OnNcActivate(window, first);
      break;
    case WM_DPICHANGED:
      OnDpiChanged(window, LOWORD(first), *reinterpret_cast<const RECT*>(second));
      break;
    case WM_DESTROY:
      ExitSequence();
      break;
    case WM_ENDSESSION:
      // Logoff or shutdown: the process may be ended as soon as this returns,
      // so the settings are saved now. WM_QUERYENDSESSION is left to the
      // dialog manager, which agrees.
      if (first != FALSE) {
        ExitSequence();
        TerminateProcess(GetCurrentProcess(), 0);
      }
      break;
    case WM_COMMAND:
      OnCommand(window, LOWORD(first), HIWORD(first));
      break;
    default:
      break;
  }
  return 0;
}

}  // namespace vantrel::win32
