// The window at its monitor's DPI. The dialog is laid out in dialog units,
// so at its creation everything follows the font at that DPI. What is kept
// in pixels is scaled here by hand: the icons, and on a move to a monitor of
// another DPI (WM_DPICHANGED, Per-Monitor V2) the controls and the address
// control's fields, their font, the task list's columns and the status bar.
// Functions newer than Windows 7 are looked up at run time, so that the
// program still starts there.
#include <windows.h>
// windows.h first: commctrl.h builds on it.
#include <commctrl.h>

#include <utility>
#include <vector>

#include "dialog/main_dialog.h"
#include "shell/win32/main_window.h"

namespace vantrel::win32 {

namespace {

template <typename Function>
Function User32Function(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

// The dialog as it was created, at its creation DPI: every later DPI is
// scaled from this, so that moves back and forth do not add up rounding.
struct CreationLayout {
  UINT dpi = 0;
  LOGFONTA font{};
  int point_size = 0;
  std::vector<std::pair<HWND, RECT>> windows;  // in their parent's client coordinates
  int columns[2] = {0, 0};
};

// The dialog's thread only.
CreationLayout g_layout;
HFONT g_scaled_font = nullptr;

void RecordChildren(HWND parent) {
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT at;
    GetWindowRect(child, &at);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&at), 2);
    g_layout.windows.emplace_back(child, at);
  }
}

int SystemMetricForDpi(int metric, UINT dpi) {
  using ForDpi = int(WINAPI*)(int, UINT);
  static const auto for_dpi = User32Function<ForDpi>("GetSystemMetricsForDpi");  // Windows 10 1607
  return for_dpi != nullptr ? for_dpi(metric, dpi) : GetSystemMetrics(metric);
}

}  // namespace

UINT WindowDpi(HWND window) {
  using ForWindow = UINT(WINAPI*)(HWND);
  static const auto for_window = User32Function<ForWindow>("GetDpiForWindow");  // Windows 10 1607
  if (for_window != nullptr) {
    if (UINT dpi = for_window(window)) return dpi;
  }
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

void SetWindowIcons(HWND dialog, UINT dpi) {
  const std::pair<WPARAM, int> icons[] = {{ICON_SMALL, SM_CXSMICON}, {ICON_BIG, SM_CXICON}};
  for (const auto& [which, metric] : icons) {
    int size = SystemMetricForDpi(metric, dpi);
    auto icon = static_cast<HICON>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kIconResource), IMAGE_ICON, size, size, 0));
    if (icon == nullptr) continue;
    auto old = reinterpret_cast<HICON>(SendMessageA(dialog, WM_SETICON, which, reinterpret_cast<LPARAM>(icon)));
    if (old != nullptr) DestroyIcon(old);
  }
}

void PrepareForDpiChanges(HWND dialog, int point_size) {
  g_layout = CreationLayout{};
  g_layout.dpi = WindowDpi(dialog);
  g_layout.point_size = point_size;
  auto font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
  if (font == nullptr || GetObjectA(font, sizeof g_layout.font, &g_layout.font) == 0) g_layout.dpi = 0;
  RecordChildren(dialog);
  // The address control places its four fields once, when it is made.
  RecordChildren(GetDlgItem(dialog, kDnsServerControl));
  HWND list = GetDlgItem(dialog, kTaskList);
  for (int column = 0; column < 2; ++column) {
    g_layout.columns[column] = static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, column, 0));
  }
  // The dialog manager would scale the controls from the template, which
  // has none: the window is left to OnDpiChanged. Windows 10 1703, the first
  // with Per-Monitor V2 and so the first to send WM_DPICHANGED here.
  using Behavior = BOOL(WINAPI*)(HWND, int, int);
  static const auto set_behavior = User32Function<Behavior>("SetDialogDpiChangeBehavior");
  if (set_behavior != nullptr) set_behavior(dialog, DDC_DISABLE_ALL, DDC_DISABLE_ALL);
}

void OnDpiChanged(HWND dialog, UINT dpi, const RECT& suggested) {
  SetWindowPos(dialog, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  if (g_layout.dpi == 0 || dpi == 0) return;
  auto scaled = [&](LONG value) { return MulDiv(value, static_cast<int>(dpi), static_cast<int>(g_layout.dpi)); };
  // The dialog font as the dialog manager makes it at that DPI.
  LOGFONTA font = g_layout.font;
  font.lfHeight = -MulDiv(g_layout.point_size, static_cast<int>(dpi), 72);
  font.lfWidth = 0;
  HFONT made = CreateFontIndirectA(&font);
  for (const auto& [window, at] : g_layout.windows) {
    int left = scaled(at.left);
    int top = scaled(at.top);
    SetWindowPos(window, nullptr, left, top, scaled(at.right) - left, scaled(at.bottom) - top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (made != nullptr) SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(made), TRUE);
  }
  if (made != nullptr) {
    if (g_scaled_font != nullptr) DeleteObject(g_scaled_font);
    g_scaled_font = made;
  }
  HWND list = GetDlgItem(dialog, kTaskList);
  for (int column = 0; column < 2; ++column) {
    SendMessageA(list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(scaled(g_layout.columns[column]), 0));
  }
  // The status bar takes its height from its new font and its width from the window.
  if (HWND bar = GetDlgItem(dialog, kStatusBar)) SendMessageA(bar, WM_SIZE, 0, 0);
  SetWindowIcons(dialog, dpi);
}

}  // namespace vantrel::win32
