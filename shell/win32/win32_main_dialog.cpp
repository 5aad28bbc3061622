#include "shell/win32/win32_main_dialog.h"

// windows.h (through our header) first: commctrl.h builds on it.
#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "shell/win32/main_window.h"
#include "text/ipv4_text.h"

namespace vantrel::win32 {

namespace {

struct PostedText {
  int row;  // -1: the status bar
  int column;
  std::string text;
};

// Windows keeps the normal position in workspace coordinates, which differ
// from the screen's by the taskbar when it sits at the top or the left.
POINT WorkspaceToScreen(const RECT& normal) {
  POINT corner{normal.left, normal.top};
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (GetMonitorInfoA(MonitorFromRect(&normal, MONITOR_DEFAULTTONEAREST), &monitor)) {
    corner.x += monitor.rcWork.left - monitor.rcMonitor.left;
    corner.y += monitor.rcWork.top - monitor.rcMonitor.top;
  }
  return corner;
}

// A window rectangle that lies on no monitor moved onto the nearest one's
// work area, so a LOCATION saved with another screen set-up stays reachable.
POINT OntoAMonitor(const RECT& window) {
  POINT corner{window.left, window.top};
  if (MonitorFromRect(&window, MONITOR_DEFAULTTONULL) != nullptr) return corner;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoA(MonitorFromRect(&window, MONITOR_DEFAULTTONEAREST), &monitor)) return corner;
  const RECT& work = monitor.rcWork;
  LONG width = window.right - window.left;
  LONG height = window.bottom - window.top;
  corner.x = std::max(work.left, std::min(window.left, work.right - width));
  corner.y = std::max(work.top, std::min(window.top, work.bottom - height));
  return corner;
}

}  // namespace

void SetAddressControlText(HWND control, const std::string& text) {
  SetWindowTextA(control, text.c_str());
  // Wine's address control keeps that text but shows nothing of it; its own
  // message fills the four fields everywhere.
  if (std::optional<std::array<std::uint8_t, 4>> quad = text::ReadDottedQuad(text)) {
    const auto& [first, second, third, fourth] = *quad;
    SendMessageA(control, IPM_SETADDRESS, 0, MAKEIPADDRESS(first, second, third, fourth));
  }
}

HWND Win32MainDialog::Control(int id) const {
  HWND dialog = window_.load();
  return dialog != nullptr ? GetDlgItem(dialog, id) : nullptr;
}

std::string Win32MainDialog::GetText(int control) {
  if (control == kProxySetting) return proxy_setting_;
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
  if (control == kProxySetting) {
    proxy_setting_ = text;
    return;
  }
  HWND window = Control(control);
  if (window == nullptr) return;
  if (control == kDnsServerControl) {
    SetAddressControlText(window, text);
  } else {
    SetWindowTextA(window, text.c_str());
  }
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
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  int four_x = 0;
  int eight_y = 0;
  // The normal position: a minimized window sits at Windows' parking place.
  if (dialog == nullptr || !GetWindowPlacement(dialog, &placement) || !DialogUnitScale(dialog, &four_x, &eight_y)) {
    return {};
  }
  POINT corner = WorkspaceToScreen(placement.rcNormalPosition);
  return DialogPoint{static_cast<int>(std::lround(corner.x * 4.0 / four_x)),
                     static_cast<int>(std::lround(corner.y * 8.0 / eight_y))};
}

void Win32MainDialog::MoveTo(DialogPoint corner) {
  HWND dialog = window_.load();
  RECT frame;
  if (dialog == nullptr || !GetWindowRect(dialog, &frame)) return;
  RECT at{corner.x, corner.y, corner.x, corner.y};
  MapDialogRect(dialog, &at);
  RECT window{at.left, at.top, at.left + frame.right - frame.left, at.top + frame.bottom - frame.top};
  POINT placed = OntoAMonitor(window);
  SetWindowPos(dialog, nullptr, placed.x, placed.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
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
  // Every task text posted so far first: ten busy tasks post more than one
  // a step, and one a step would leave the task list and a click on the
  // close box behind an ever longer queue. Peeking also delivers what other
  // threads sent to our windows.
  bool applied = false;
  while (PeekMessageA(&message, nullptr, kPostedTextMessage, kPostedTextMessage, PM_REMOVE)) {
    DispatchMessageA(&message);  // the dialog procedure applies it
    applied = true;
  }
  // Then at most one other message.
  if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    RouteMessage(message);
  } else if (!applied) {
    Sleep(1);
  }
}

bool Win32MainDialog::OnDialogThread() const {
  HWND dialog = window_.load();
  return dialog != nullptr && GetWindowThreadProcessId(dialog, nullptr) == GetCurrentThreadId();
}

void Win32MainDialog::SetStatusText(const std::string& text) {
  if (OnDialogThread()) {
    ApplyText(-1, 0, text);
  } else {
    PostText(-1, 0, text);
  }
}

void Win32MainDialog::SetTaskCell(int row, int column, const std::string& text) {
  if (row < 0) return;
  if (OnDialogThread()) {
    ApplyText(row, column, text);
  } else {
    PostText(row, column, text);
  }
}

void Win32MainDialog::PostText(int row, int column, const std::string& text) {
  HWND dialog = window_.load();
  if (dialog == nullptr) return;
  auto copy = std::make_unique<PostedText>(PostedText{row, column, text});
  if (PostMessageA(dialog, kPostedTextMessage, 0, reinterpret_cast<LPARAM>(copy.get()))) copy.release();
}

void Win32MainDialog::ApplyPostedText(LPARAM posted) {
  std::unique_ptr<PostedText> text(reinterpret_cast<PostedText*>(posted));
  if (text) ApplyText(text->row, text->column, text->text);
}

void Win32MainDialog::ApplyText(int row, int column, const std::string& text) {
  if (row < 0) {
    if (HWND bar = Control(kStatusBar)) SetWindowTextA(bar, text.c_str());
    return;
  }
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
