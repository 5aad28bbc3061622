// Start-up: the common controls, the main dialog with its settings, and the
// message loop that lasts as long as the window.
#include <windows.h>

#include "shell/lifecycle.h"
#include "dialog/main_dialog.h"
#include "shell/win32/main_window.h"
#include "shell/win32/win32_main_dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  using namespace vantrel;
  win32::InitializeCommonControls();
  HWND dialog = win32::BuildMainDialog(instance);
  if (dialog == nullptr) return 0;
  win32::Win32MainDialog& main = win32::TheMainDialog();
  RegisterMainDialog(&main);
  LoadSettingsAtStart(main);
  win32::ShowMainDialog(dialog, win32::MainDialogEvents);
  win32::RunMessageLoop(dialog);
  return 0;
}
