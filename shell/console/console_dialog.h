// The main dialog on a terminal: the controls' values live in memory, the
// status bar, task list and message boxes go to a ConsoleView. Closing the
// window becomes a request (Ctrl-C, SIGTERM) that the dialog's thread acts
// on in ProcessOneMessage, as the dialog's own message processing would.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <string>

#include "platform/mutex.h"
#include "platform/thread_annotations.h"
#include "shell/console/console_view.h"
#include "dialog/main_dialog.h"

namespace vantrel::console {

inline constexpr char kFromPlaceholder[] = "<you@example.com>";

class ConsoleDialog : public MainDialog {
 public:
  explicit ConsoleDialog(ConsoleView& view);

  std::string GetText(int control) override VANTREL_EXCLUDES(mutex_);
  void SetText(int control, const std::string& text) override VANTREL_EXCLUDES(mutex_);
  void Enable(int control, bool enabled) override VANTREL_EXCLUDES(mutex_);
  int GetBodyCheck() override VANTREL_EXCLUDES(mutex_);
  void SetBodyCheck(long value) override VANTREL_EXCLUDES(mutex_);
  bool IsErrorModeSelected(int button) override VANTREL_EXCLUDES(mutex_);
  void SelectErrorMode(int button) override VANTREL_EXCLUDES(mutex_);
  DialogPoint GetPosition() override VANTREL_EXCLUDES(mutex_);
  void MoveTo(DialogPoint corner) override VANTREL_EXCLUDES(mutex_);
  void ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;
  void ProcessOneMessage() override;
  void SetStatusText(const std::string& text) override;
  void SetTaskCell(int row, int column, const std::string& text) override;

  bool IsEnabled(int control) VANTREL_EXCLUDES(mutex_);

  // What closing the window does (the exit sequence); runs once, on the
  // dialog's thread, from ProcessOneMessage after RequestClose or from Close.
  void SetCloseHandler(std::function<void()> handler);
  // Any thread, async-signal context included: only an atomic store.
  void RequestClose() { close_requested_.store(true); }
  bool CloseRequested() const { return close_requested_.load(); }
  // The dialog's thread: runs the close handler now unless it already ran.
  void Close();
  bool Closed() const { return closed_.load(); }

 private:
  platform::Mutex mutex_;
  std::map<int, std::string> texts_ VANTREL_GUARDED_BY(mutex_);
  std::map<int, bool> enabled_ VANTREL_GUARDED_BY(mutex_);
  int body_check_ VANTREL_GUARDED_BY(mutex_) = 0;
  int selected_mode_ VANTREL_GUARDED_BY(mutex_) = 0;  // a button id, 0 for none
  DialogPoint position_ VANTREL_GUARDED_BY(mutex_){85, 66};

  ConsoleView& view_;
  std::function<void()> close_handler_;
  std::atomic<bool> close_requested_{false};
  std::atomic<bool> closing_{false};
  std::atomic<bool> closed_{false};  // the window is gone: changes to it have no effect
};

}  // namespace vantrel::console
