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

void RunLog::Append(const std::string& text) {
  std::unique_ptr<platform::WritableFile> file = files_.OpenAppend(kRunLogName);
  if (file) file->Write(text);
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
