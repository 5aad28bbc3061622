// The generic dialog procedure under the event handler, and the message pump:
// the start-up's message loop and the run's one-message steps share it.
#include <atomic>

#include "shell/win32/main_window.h"
#include "shell/win32/win32_main_dialog.h"

namespace vantrel::win32 {

namespace {

std::atomic<EventHandler> g_handler{nullptr};
// The dialog that gets the keyboard handling of pumped messages; only the
// dialog's thread reads and writes them.
HWND g_active_dialog = nullptr;

bool IsCloseCommand(UINT message, WPARAM first) {
  return message == WM_SYSCOMMAND && (first & 0xFFF0) == SC_CLOSE;
}

}  // namespace

void SetEventHandler(EventHandler handler) { g_handler.store(handler); }

INT_PTR CALLBACK GenericDialogProc(HWND window, UINT message, WPARAM first, LPARAM second) {
  if (message == WM_ACTIVATE) {
    if (LOWORD(first) != WA_INACTIVE) {
      g_active_dialog = window;
    } else if (g_active_dialog == window) {
      g_active_dialog = nullptr;
    }
  }

  if (message == kPostedTextMessage) {
    TheMainDialog().ApplyPostedText(second);
    return TRUE;
  }

  INT_PTR handled = 0;
  if (EventHandler handler = g_handler.load()) handled = handler(window, message, first, second);

  if (IsCloseCommand(message, first) && handled == 0) {
    // The close box, Alt+F4 and the system menu end the dialog; nothing else does.
    SendMessageA(window, WM_CLOSE, 0, 0);
    DestroyWindow(window);
    return TRUE;
  }
  if (message == WM_CLOSE) return TRUE;  // the dialog manager would turn it into a cancel command
  if (message == WM_NCDESTROY) {
    if (g_active_dialog == window) g_active_dialog = nullptr;
    Win32MainDialog& main = TheMainDialog();
    if (main.window() == window) main.Detach();
  }
  return FALSE;
}

void ShowMainDialog(HWND dialog, EventHandler handler) {
  SetEventHandler(handler);
  handler(dialog, WM_INITDIALOG, 0, 0);
  RECT client;
  GetClientRect(dialog, &client);
  SendMessageA(dialog, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
  ShowWindow(dialog, SW_SHOWNORMAL);
  UpdateWindow(dialog);
  if (HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE)) SetFocus(first);
}

void RouteMessage(MSG& message) {
  HWND dialog = g_active_dialog != nullptr ? g_active_dialog : TheMainDialog().window();
  if (dialog != nullptr && IsWindow(dialog) && IsDialogMessageA(dialog, &message)) return;
  TranslateMessage(&message);
  DispatchMessageA(&message);
}

void RunMessageLoop(HWND dialog) {
  MSG message;
  while (IsWindow(dialog)) {
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      Sleep(1);
      continue;
    }
    if (!IsWindow(dialog)) {
      DispatchMessageA(&message);
      break;
    }
    RouteMessage(message);
  }
}

}  // namespace vantrel::win32
