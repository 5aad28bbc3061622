// MainDialog on the real controls of the Win32 dialog, so that settings, the
// run and the probe tasks work on the window unchanged.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "dialog/main_dialog.h"

namespace vantrel::win32 {

// A text for the status bar or a task cell, posted by a thread other than
// the dialog's: lParam is a PostedText the dialog procedure applies and frees.
inline constexpr UINT kPostedTextMessage = WM_APP + 1;

class Win32MainDialog final : public MainDialog {
 public:
  void Attach(HWND dialog) { window_.store(dialog); }
  // From then on every call is harmless: the Go button's last steps, or a
  // task that outlives the window, address a window that is gone.
  void Detach() { window_.store(nullptr); }
  HWND window() const { return window_.load(); }

  std::string GetText(int control) override;
  void SetText(int control, const std::string& text) override;
  void Enable(int control, bool enabled) override;
  int GetBodyCheck() override;
  void SetBodyCheck(long value) override;
  bool IsErrorModeSelected(int button) override;
  void SelectErrorMode(int button) override;
  DialogPoint GetPosition() override;
  void MoveTo(DialogPoint corner) override;
  void ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;
  // Every text posted so far (PostText), then at most one other message.
  void ProcessOneMessage() override;
  // From any thread. Another thread never waits for the dialog's: it posts
  // a copy of the text, which the dialog's thread applies the next time it
  // pumps (a text posted after the window is gone is dropped).
  void SetStatusText(const std::string& text) override;
  void SetTaskCell(int row, int column, const std::string& text) override;
  // The dialog procedure's side of kPostedTextMessage; frees the copy.
  void ApplyPostedText(LPARAM posted);

 private:
  HWND Control(int id) const;
  bool OnDialogThread() const;
  // row -1: the status bar.
  void ApplyText(int row, int column, const std::string& text);
  void PostText(int row, int column, const std::string& text);
  // Pixels per 4 horizontal and per 8 vertical dialog units.
  bool DialogUnitScale(HWND dialog, int* four_x, int* eight_y) const;

  std::atomic<HWND> window_{nullptr};
  // The proxy setting has no control; like the controls, it is touched on
  // the dialog's thread only.
  std::string proxy_setting_;
};

}  // namespace vantrel::win32
