// MainDialog on the real controls of the Win32 dialog, so that settings, the
// run and the probe tasks work on the window unchanged.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "dialog/main_dialog.h"

namespace vantrel::win32 {

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
  void ProcessOneMessage() override;
  // From any thread: a control of another thread gets the text by a sent
  // message, which the dialog's thread applies the next time it pumps.
  void SetStatusText(const std::string& text) override;
  void SetTaskCell(int row, int column, const std::string& text) override;

 private:
  HWND Control(int id) const;
  // Pixels per 4 horizontal and per 8 vertical dialog units.
  bool DialogUnitScale(HWND dialog, int* four_x, int* eight_y) const;

  std::atomic<HWND> window_{nullptr};
};

}  // namespace vantrel::win32
