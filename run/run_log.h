// The run log "vantrel.log" in the current directory. Every thread appends
// lines to the shared log buffer; only the run, on the dialog's thread, moves
// them into the file. Each write opens the file, appends and closes it again;
// a write that cannot open the file is skipped and its text is lost.
#pragma once

#include <string>

#include "platform/clock.h"
#include "platform/file.h"

namespace vantrel::run {

inline constexpr char kRunLogName[] = "vantrel.log";

// Eighty "=" and then "MM-DD-YYYY HH:MM:SS", each line ended by CR LF.
std::string RunHeaderText(const platform::LocalTime& now);

// What a flush during the run appends for the text it took from the buffer:
// the text without CRs and LFs at either end, then CR LF.
std::string RoundFlushText(const std::string& taken);

class RunLog {
 public:
  explicit RunLog(platform::FileSystem& files) : files_(files) {}

  void WriteHeader(const platform::LocalTime& now);
  // Moves what the log buffer holds into the file; nothing when it is empty.
  void FlushDuringRun();
  // At the end of a run: the rest of the buffer as it stands, between two
  // empty lines.
  void FinalFlush();

 private:
  void Append(const std::string& text);
  platform::FileSystem& files_;
};

}  // namespace vantrel::run
