#include "probe/shared_state.h"

#include <algorithm>

namespace vantrel {

void TaskSlot::Reset() {
  platform::MutexLock lock(mutex_);
  text_.fill('\0');
}

void TaskSlot::Store(const std::string& text) {
  platform::MutexLock lock(mutex_);
  std::size_t n = std::min(text.size(), kSlotSize);
  std::copy_n(text.begin(), n, text_.begin());
  std::fill(text_.begin() + static_cast<std::ptrdiff_t>(n), text_.end(), ' ');
}

std::string TaskSlot::Read() const {
  platform::MutexLock lock(mutex_);
  return std::string(text_.begin(), text_.end());
}

SharedState& Shared() {
  static SharedState* state = new SharedState;  // outlives every task thread
  return *state;
}

namespace {

MainDialog* FoundDialog() { return Shared().dialog_found.load() ? FindMainDialog(kMainCaption) : nullptr; }

}  // namespace

void NoteProxyFailure(const std::string& words) {
  SharedState& shared = Shared();
  platform::MutexLock lock(shared.proxy_failure_mutex);
  shared.last_proxy_failure = words;
  ++shared.proxy_failures;
}

std::string LastProxyFailure() {
  SharedState& shared = Shared();
  platform::MutexLock lock(shared.proxy_failure_mutex);
  return shared.last_proxy_failure;
}

void ShowStatus(const std::string& text) {
  if (MainDialog* dialog = FoundDialog()) dialog->SetStatusText("Status: " + text);
}

void AppendLogLine(const std::string& text) {
  SharedState& shared = Shared();
  platform::MutexLock lock(shared.log_mutex);
  shared.log_buffer += "\r\n";
  shared.log_buffer += text;
}

std::string TakeLogBuffer() {
  SharedState& shared = Shared();
  platform::MutexLock lock(shared.log_mutex);
  std::string taken;
  taken.swap(shared.log_buffer);
  return taken;
}

bool LogBufferEmpty() {
  SharedState& shared = Shared();
  platform::MutexLock lock(shared.log_mutex);
  return shared.log_buffer.empty();
}

std::size_t LogBufferSize() {
  SharedState& shared = Shared();
  platform::MutexLock lock(shared.log_mutex);
  return shared.log_buffer.size();
}

void SetLastReply(int slot, const std::string& line) {
  SharedState& shared = Shared();
  platform::MutexLock lock(shared.last_reply_mutex);
  shared.last_replies[static_cast<std::size_t>(slot)] = line;
}

std::string TakeLastReply(int slot) {
  SharedState& shared = Shared();
  platform::MutexLock lock(shared.last_reply_mutex);
  std::string taken;
  taken.swap(shared.last_replies[static_cast<std::size_t>(slot)]);
  return taken;
}

void ShowActivity(int row, int column, const std::string& text) {
  if (MainDialog* dialog = FoundDialog()) {
    dialog->SetTaskCell(row, column, text.substr(0, kActivityCellLimit));
  }
}

}  // namespace vantrel
