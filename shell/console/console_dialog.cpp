#include "shell/console/console_dialog.h"

#include "platform/thread.h"

namespace vantrel::console {

ConsoleDialog::ConsoleDialog(ConsoleView& view) : view_(view) {
  // The controls as the dialog builds them; the settings file comes next.
  texts_[kFromBox] = kFromPlaceholder;
  texts_[kInputListBox] = "MEMBERS.LST";
  texts_[kDnsServerControl] = "192.168.1.1";
  texts_[kBrowseButton] = "...";
  texts_[kGoButton] = "&Go";
  texts_[kAboutButton] = "&About";
  texts_[kStatusBar] = "Status: Idle";
  enabled_[kBodyCheckBox] = false;  // until a run has finished
}

std::string ConsoleDialog::GetText(int control) {
  platform::MutexLock lock(mutex_);
  auto it = texts_.find(control);
  return it == texts_.end() ? std::string() : it->second;
}

void ConsoleDialog::SetText(int control, const std::string& text) {
  if (control == kStatusBar) {
    SetStatusText(text);
    return;
  }
  if (closed_.load()) return;
  platform::MutexLock lock(mutex_);
  texts_[control] = text;
}

void ConsoleDialog::Enable(int control, bool enabled) {
  if (closed_.load()) return;
  platform::MutexLock lock(mutex_);
  enabled_[control] = enabled;
}

bool ConsoleDialog::IsEnabled(int control) {
  platform::MutexLock lock(mutex_);
  auto it = enabled_.find(control);
  return it == enabled_.end() || it->second;
}

int ConsoleDialog::GetBodyCheck() {
  platform::MutexLock lock(mutex_);
  return body_check_;
}

void ConsoleDialog::SetBodyCheck(long value) {
  platform::MutexLock lock(mutex_);
  body_check_ = value != 0 ? 1 : 0;
}

bool ConsoleDialog::IsErrorModeSelected(int button) {
  platform::MutexLock lock(mutex_);
  return selected_mode_ == button;
}

void ConsoleDialog::SelectErrorMode(int button) {
  if (button != kRemoveButton && button != kSuspendButton && button != kWriteToFileButton) return;
  platform::MutexLock lock(mutex_);
  selected_mode_ = button;
}

DialogPoint ConsoleDialog::GetPosition() {
  platform::MutexLock lock(mutex_);
  return position_;
}

void ConsoleDialog::MoveTo(DialogPoint corner) {
  platform::MutexLock lock(mutex_);
  position_ = corner;
}

namespace {

// Texts of the shared run that send the user to a control of the window,
// and the line that names the option in its place here.
constexpr struct {
  const char* window_text;
  const char* console_line;
} kControlHints[] = {
    {"Click the [...] button to", "Give the list with --list FILE."},
    {"in the Input List box.", "Give the list with --list FILE."},
    {"The FROM text holds no e-mail address", "Give one with --from ADDRESS."},
};

}  // namespace

void ConsoleDialog::ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
  std::string shown = text;
  for (const auto& hint : kControlHints) {
    if (text.find(hint.window_text) != std::string::npos) shown += std::string("\r\n") + hint.console_line;
  }
  view_.ShowBox(shown, caption, icon);
}

void ConsoleDialog::ProcessOneMessage() {
  view_.Refresh();
  if (close_requested_.load() && !closing_.load()) {
    Close();
    return;
  }
  platform::SleepMs(1);
}

void ConsoleDialog::SetStatusText(const std::string& text) {
  if (closed_.load()) return;  // a task still alive after the exit talks to no window
  {
    platform::MutexLock lock(mutex_);
    texts_[kStatusBar] = text;
  }
  view_.SetStatus(text);
}

void ConsoleDialog::SetTaskCell(int row, int column, const std::string& text) {
  if (closed_.load()) return;
  view_.SetCell(row, column, text);
}

void ConsoleDialog::SetCloseHandler(std::function<void()> handler) { close_handler_ = std::move(handler); }

void ConsoleDialog::Close() {
  if (closing_.exchange(true)) return;
  if (close_handler_) close_handler_();
  closed_.store(true);
}

}  // namespace vantrel::console
