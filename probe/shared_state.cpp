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

void SetProbeOutcome(int slot, ProbeOutcome outcome) {
  SharedState& shared = Shared();
  platform::MutexLock lock(shared.last_reply_mutex);
  shared.probe_outcomes[static_cast<std::size_t>(slot)] = outcome;
}

ProbeOutcome ProbeOutcomeOf(int slot) {
  SharedState& shared = Shared();
  platform::MutexLock lock(shared.last_reply_mutex);
  return shared.probe_outcomes[static_cast<std::size_t>(slot)];
}

void RecordRefusalOfUs(const std::string& mail_host, const std::string& reply) {
  SharedState& shared = Shared();
  platform::MutexLock lock(shared.refusal_mutex);
  shared.hosts_refusing_us.insert(mail_host);
  if (!shared.first_refusal_of_us) shared.first_refusal_of_us = RefusalOfUs{mail_host, reply};
}

bool HostRefusedUs(const std::string& mail_host) {
  SharedState& shared = Shared();
  platform::MutexLock lock(shared.refusal_mutex);
  return shared.hosts_refusing_us.count(mail_host) > 0;
}

std::optional<RefusalOfUs> FirstRefusalOfUs() {
  SharedState& shared = Shared();
  platform::MutexLock lock(shared.refusal_mutex);
  return shared.first_refusal_of_us;
}

void ForgetRefusalsOfUs() {
  SharedState& shared = Shared();
  platform::MutexLock lock(shared.refusal_mutex);
  shared.hosts_refusing_us.clear();
  shared.first_refusal_of_us.reset();
}

void ShowActivity(int row, int column, const std::string& text) {
  if (MainDialog* dialog = FoundDialog()) {
    dialog->SetTaskCell(row, column, text.substr(0, kActivityCellLimit));
  }
}

}  // namespace vantrel
