#include "run/run_log.h"

#include <cstdio>
#include <memory>

#include "text/clock_text.h"
#include "text/text_lines.h"
#include "probe/shared_state.h"

namespace vantrel::run {

std::string RunHeaderText(const platform::LocalTime& now) {
  char date[32];
  std::snprintf(date, sizeof date, "%02d-%02d-%04d ", now.month % 100, now.day % 100, now.year % 10000);
  return std::string(80, '=') + text::kLineEnd + date + text::ClockText(now) + text::kLineEnd;
}

std::string RoundFlushText(const std::string& taken) {
  std::size_t begin = taken.find_first_not_of("\r\n");
  if (begin == std::string::npos) return text::kLineEnd;
  std::size_t end = taken.find_last_not_of("\r\n");
  return taken.substr(begin, end - begin + 1) + text::kLineEnd;
}

namespace {

// Lines "<slot> !I think this is a bad address: ..." in a text of CR LF lines.
// A lone LF can sit inside a member list line, so only CR LF divides lines.
int CountBadAddressLines(const std::string& text) {
  int count = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(text::kLineEnd, start);
    if (end == std::string::npos) end = text.size();
    std::size_t digits = start;
    while (digits < end && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits > start && text.compare(digits, sizeof kBadAddressLogText - 1, kBadAddressLogText) == 0) ++count;
    start = end + 2;
  }
  return count;
}

}  // namespace

std::string LogRefusalText() {
  return std::string("Cannot write to the run log.\r\n\r\n") + kRunLogName +
         "\r\n\r\nThe run log is the only record of removed addresses.\r\n"
         "Make it writable, or close it in the other program, and try again.";
}

bool RunLog::CanAppend() { return files_.OpenAppend(kRunLogName, Shared().waits.file_lock_wait_ms) != nullptr; }

void RunLog::Append(const std::string& text) {
  std::unique_ptr<platform::WritableFile> file = files_.OpenAppend(kRunLogName, Shared().waits.file_lock_wait_ms);
  if (file && file->Write(text)) return;
  ++failed_writes_;
  unrecorded_bad_ += CountBadAddressLines(text);
}

void RunLog::WriteHeader(const platform::LocalTime& now) { Append(RunHeaderText(now)); }

void RunLog::FlushDuringRun() {
  std::string taken = TakeLogBuffer();
  if (taken.empty()) return;
  ShowStatus("Writing log file.");
  Append(RoundFlushText(taken));
}

void RunLog::FinalFlush() {
  if (LogBufferEmpty()) return;
  ShowStatus("Writing log file.");
  // By now no task is alive, so nothing can arrive between the take and the write.
  std::string rest = TakeLogBuffer();
  Append(rest + text::kLineEnd + text::kLineEnd);
}

}  // namespace vantrel::run
