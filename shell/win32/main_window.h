// The Win32 main dialog's pieces and how they meet: building the window and
// its controls, the generic dialog procedure under the event handler, the
// message pump shared by the message loop and the run, and the one
// Win32MainDialog of the process.
#pragma once

#include <windows.h>

#include <string>

namespace vantrel::win32 {

class Win32MainDialog;

// The text the FROM box holds until the settings or the user change it.
inline constexpr char kFromPlaceholder[] = "<you@example.com>";

// The icon's resource id in Vantrel.rc.in.
inline constexpr int kIconResource = 1;

using EventHandler = INT_PTR (*)(HWND window, UINT message, WPARAM first, LPARAM second);

// Registers the common control classes, the IP address control included.
void InitializeCommonControls();

// The main dialog, hidden, with its sixteen controls, the Go button as the
// default, the task list set up and the body check box disabled. Null when
// the window itself cannot be created.
HWND BuildMainDialog(HINSTANCE instance);

// The dialog procedure every dialog of ours is created with. Until a handler
// is set it leaves everything to the dialog manager.
INT_PTR CALLBACK GenericDialogProc(HWND window, UINT message, WPARAM first, LPARAM second);
void SetEventHandler(EventHandler handler);

// Attaches the handler, gives it the initialisation and size messages and
// shows the window.
void ShowMainDialog(HWND dialog, EventHandler handler);

// Gives one message to the active dialog's keyboard handling, or translates
// and dispatches it.
void RouteMessage(MSG& message);

// Runs until the dialog is gone.
void RunMessageLoop(HWND dialog);

// The event handler of the main dialog; always returns 0.
INT_PTR MainDialogEvents(HWND window, UINT message, WPARAM first, LPARAM second);

// The DNS Server control's text; a dotted quad also fills its four fields.
void SetAddressControlText(HWND control, const std::string& text);

// The window's DPI (window_dpi.cpp): the monitor's under Per-Monitor V2,
// else the system's.
UINT WindowDpi(HWND window);
// Gives the window the icon at the sizes Windows wants at this DPI.
void SetWindowIcons(HWND dialog, UINT dpi);
// Records the built dialog's layout, which OnDpiChanged scales from, and
// keeps the dialog manager out of DPI changes. point_size: the template's font.
void PrepareForDpiChanges(HWND dialog, int point_size);
// WM_DPICHANGED: takes the suggested rectangle and scales the controls,
// their font, the task list's columns, the status bar and the icons.
void OnDpiChanged(HWND dialog, UINT dpi, const RECT& suggested);

// The one main dialog of this process. Never destroyed: a task thread that
// outlives the window still finds an object that answers harmlessly.
Win32MainDialog& TheMainDialog();

}  // namespace vantrel::win32
