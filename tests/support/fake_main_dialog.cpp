#include "tests/support/fake_main_dialog.h"

#include <chrono>

namespace vantrel::testing {

FakeMainDialog::FakeMainDialog() {
  // The controls as the dialog builds them.
  texts_[kFromBox] = "<you@example.com>";
  texts_[kInputListBox] = "MEMBERS.LST";
  texts_[kDnsServerControl] = "192.168.1.1";
  texts_[kGoButton] = "&Go";
  texts_[kStatusBar] = "Status: Idle";
}

std::string FakeMainDialog::GetText(int control) {
  std::lock_guard<std::mutex> lock(mutex_);
  return texts_[control];
}

void FakeMainDialog::SetText(int control, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  texts_[control] = text;
  changed_.notify_all();
}

void FakeMainDialog::Enable(int control, bool enabled) {
  std::lock_guard<std::mutex> lock(mutex_);
  enabled_[control] = enabled;
  enable_calls_.emplace_back(control, enabled);
  changed_.notify_all();
}

int FakeMainDialog::GetBodyCheck() {
  std::lock_guard<std::mutex> lock(mutex_);
  return body_check_;
}

void FakeMainDialog::SetBodyCheck(long value) {
  std::lock_guard<std::mutex> lock(mutex_);
  body_check_ = value != 0 ? 1 : 0;
}

bool FakeMainDialog::IsErrorModeSelected(int button) {
  std::lock_guard<std::mutex> lock(mutex_);
  return selected_mode_ == button;
}

void FakeMainDialog::SelectErrorMode(int button) {
  std::lock_guard<std::mutex> lock(mutex_);
  selected_mode_ = button;
}

DialogPoint FakeMainDialog::GetPosition() {
  std::lock_guard<std::mutex> lock(mutex_);
  return position_;
}

void FakeMainDialog::MoveTo(DialogPoint corner) {
  std::lock_guard<std::mutex> lock(mutex_);
  position_ = corner;
}

void FakeMainDialog::ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
  std::lock_guard<std::mutex> lock(mutex_);
  boxes_.push_back({text, caption, icon});
  changed_.notify_all();
}

void FakeMainDialog::ProcessOneMessage() {
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    hook = hook_;
  }
  ++processed_messages_;
  if (hook) hook();
}

void FakeMainDialog::SetStatusText(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  texts_[kStatusBar] = text;
  statuses_.push_back(text);
  changed_.notify_all();
}

void FakeMainDialog::SetTaskCell(int row, int column, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  cells_[{row, column}] = text;
  changed_.notify_all();
}

bool FakeMainDialog::IsEnabled(int control) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = enabled_.find(control);
  return it == enabled_.end() || it->second;
}

std::vector<std::string> FakeMainDialog::StatusHistory() {
  std::lock_guard<std::mutex> lock(mutex_);
  return statuses_;
}

std::string FakeMainDialog::StatusText() {
  std::lock_guard<std::mutex> lock(mutex_);
  return texts_[kStatusBar];
}

std::string FakeMainDialog::TaskCell(int row, int column) {
  std::lock_guard<std::mutex> lock(mutex_);
  return cells_[{row, column}];
}

std::vector<FakeMainDialog::MessageBox> FakeMainDialog::MessageBoxes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_;
}

std::vector<std::pair<int, bool>> FakeMainDialog::EnableCalls() {
  std::lock_guard<std::mutex> lock(mutex_);
  return enable_calls_;
}

void FakeMainDialog::OnProcessMessage(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  hook_ = std::move(hook);
}

::testing::AssertionResult FakeMainDialog::WaitFor(const std::string& what, const std::function<bool()>& pred,
                                                   int bound_ms) {
  // pred takes the lock itself through the inspection calls, so ask it on
  // every change notification (and every 20 ms, for state kept elsewhere)
  // rather than under our lock.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(bound_ms);
  while (!pred()) {
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      return ::testing::AssertionFailure() << "waited " << bound_ms << " ms for " << what << "; the status bar says \""
                                           << StatusText() << "\" after " << MessageBoxes().size() << " message box(es)";
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(20)));
  }
  return ::testing::AssertionSuccess();
}

}  // namespace vantrel::testing
