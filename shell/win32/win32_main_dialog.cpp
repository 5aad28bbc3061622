#include "shell/win32/win32_main_dialog.h"

// windows.h (through our header) first: commctrl.h builds on it.
#include <commctrl.h>

#include <cmath>

#include "shell/win32/main_window.h"

namespace vantrel::win32 {

HWND Win32MainDialog::Control(int id) const {
  HWND dialog = window_.load();
  return dialog != nullptr ? GetDlgItem(dialog, id) : nullptr;
}

std::string Win32MainDialog::GetText(int control) {
  HWND window = Control(control);
  if (window == nullptr) return {};
  int length = GetWindowTextLengthA(window);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  int got = GetWindowTextA(window, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text;
}

void Win32MainDialog::SetText(int control, const std::string& text) {
  if (HWND window = Control(control)) SetWindowTextA(window, text.c_str());
}

void Win32MainDialog::Enable(int control, bool enabled) {
  if (HWND window = Control(control)) EnableWindow(window, enabled ? TRUE : FALSE);
}

int Win32MainDialog::GetBodyCheck() {
  HWND box = Control(kBodyCheckBox);
  return box != nullptr && SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void Win32MainDialog::SetBodyCheck(long value) {
  if (HWND box = Control(kBodyCheckBox)) SendMessageA(box, BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Win32MainDialog::IsErrorModeSelected(int button) {
  HWND window = Control(button);
  return window != nullptr && SendMessageA(window, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32MainDialog::SelectErrorMode(int button) {
  if (HWND dialog = window_.load()) CheckRadioButton(dialog, kRemoveButton, kWriteToFileButton, button);
}

bool Win32MainDialog::DialogUnitScale(HWND dialog, int* four_x, int* eight_y) const {
  RECT units{0, 0, 4, 8};
  if (!MapDialogRect(dialog, &units) || units.right <= 0 || units.bottom <= 0) return false;
  *four_x = units.right;
  *eight_y = units.bottom;
  return true;
}

DialogPoint Win32MainDialog::GetPosition() {
  HWND dialog = window_.load();
  RECT frame;
  int four_x = 0;
  int eight_y = 0;
  if (dialog == nullptr || !GetWindowRect(dialog, &frame) || !DialogUnitScale(dialog, &four_x, &eight_y)) return {};
  return DialogPoint{static_cast<int>(std::lround(frame.left * 4.0 / four_x)),
                     static_cast<int>(std::lround(frame.top * 8.0 / eight_y))};
}

void Win32MainDialog::MoveTo(DialogPoint corner) {
  HWND dialog = window_.load();
  if (dialog == nullptr) return;
  RECT at{corner.x, corner.y, corner.x, corner.y};
  MapDialogRect(dialog, &at);
  SetWindowPos(dialog, nullptr, at.left, at.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32MainDialog::ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
  UINT style = MB_OK | MB_TASKMODAL;
  switch (icon) {
    case MessageIcon::kStop:
      style |= MB_ICONSTOP;
      break;
    case MessageIcon::kInformation:
      style |= MB_ICONINFORMATION;
      break;
    case MessageIcon::kNone:
      break;
  }
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
}

void Win32MainDialog::ProcessOneMessage() {
  MSG message;
  // Peeking also delivers what other threads sent to our windows.
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    Sleep(1);
    return;
  }
  RouteMessage(message);
}

void Win32MainDialog::SetStatusText(const std::string& text) {
  if (HWND bar = Control(kStatusBar)) SetWindowTextA(bar, text.c_str());
}

void Win32MainDialog::SetTaskCell(int row, int column, const std::string& text) {
  HWND list = Control(kTaskList);
  if (list == nullptr) return;
  LVITEMA cell{};
  cell.iSubItem = column;
  cell.pszText = const_cast<char*>(text.c_str());
  SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
}

Win32MainDialog& TheMainDialog() {
  static Win32MainDialog* dialog = new Win32MainDialog;
  return *dialog;
}

}  // namespace vantrel::win32
