// A MainDialog that holds its controls in memory and records what it is told,
// for tests of everything below the shell.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "dialog/main_dialog.h"

namespace vantrel::testing {

class FakeMainDialog : public MainDialog {
 public:
  struct MessageBox {
    std::string text;
    std::string caption;
    MessageIcon icon;
  };

  FakeMainDialog();

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
  void SetStatusText(const std::string& text) override;
  void SetTaskCell(int row, int column, const std::string& text) override;

  // Inspection, from the test's thread.
  bool IsEnabled(int control);
  std::vector<std::string> StatusHistory();
  std::string StatusText();
  std::string TaskCell(int row, int column);
  std::vector<MessageBox> MessageBoxes();
  std::vector<std::pair<int, bool>> EnableCalls();  // in call order
  int ProcessedMessages() const { return processed_messages_.load(); }
  // Called on each ProcessOneMessage, on the caller's thread; a test uses it
  // to act "from the window" during a run (for example to set the stop flag).
  void OnProcessMessage(std::function<void()> hook);
  // Blocks until pred() holds for the recorded state or the bound passes;
  // a failure names what was awaited and what the dialog showed by then.
  ::testing::AssertionResult WaitFor(const std::string& what, const std::function<bool()>& pred,
                                     int bound_ms = 10000);
  ::testing::AssertionResult WaitFor(const std::function<bool()>& pred, int bound_ms = 10000) {
    return WaitFor("the dialog's state to change as awaited", pred, bound_ms);
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<int, std::string> texts_;
  std::map<int, bool> enabled_;
  int body_check_ = 0;
  int selected_mode_ = 0;  // 0: none
  DialogPoint position_{85, 66};
  std::vector<std::string> statuses_;
  std::map<std::pair<int, int>, std::string> cells_;
  std::vector<MessageBox> boxes_;
  std::vector<std::pair<int, bool>> enable_calls_;
  std::function<void()> hook_;
  std::atomic<int> processed_messages_{0};
};

}  // namespace vantrel::testing
