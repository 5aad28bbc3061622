// Driving another process's windows from the test driver: finding them,
// reading and setting texts, reading list view cells through a buffer in the
// target, message boxes, and waits on conditions with a bound.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace vantrel::wine_test {

// Polls condition until it holds or bound_ms passes; true when it held.
bool WaitUntil(const std::function<bool()>& condition, int bound_ms = 20000);

// A top-level window of process pid with this caption (and class, when given).
HWND FindProcessWindow(DWORD pid, const char* window_class, const std::string& caption);

std::string WindowText(HWND window);
std::string ClassName(HWND window);

// A list view cell of another process: LVM_GETITEMTEXTA with its buffer in
// the target, since the message's pointer is not carried across processes.
std::string ListCellText(HWND list, DWORD pid, int row, int column);
LPARAM ListItemData(HWND list, DWORD pid, int row);

// Sends a message whose lParam points at data, with the data copied into
// process pid and back, since such pointers are not carried across processes.
LRESULT SendWithRemoteData(HWND window, DWORD pid, UINT message, WPARAM first, void* data, std::size_t size);

// Writes the screen area of window as a 24-bit BMP.
bool SaveWindowBitmap(HWND window, const std::string& path);

std::string ReadWholeFile(const std::string& path);  // empty when missing
bool FileExists(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::string& bytes);

// C-style escapes for CR, LF and other control bytes, for failure messages.
std::string Visible(const std::string& text);

}  // namespace vantrel::wine_test
