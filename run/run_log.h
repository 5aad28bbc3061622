// The run log "vantrel.log" in the current directory. Every thread appends
// lines to the shared log buffer; only the run, on the dialog's thread, moves
// them into the file. Each write opens the file, appends and closes it again,
// waiting while another run in the same folder writes. A write that still
// fails loses its text; the log counts what it lost, because in Remove mode
// the log is the only record of a removed address.
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

// The log line that records a bad address; in Remove mode it is all that
// remains of the address.
inline constexpr char kBadAddressLogText[] = " !I think this is a bad address: ";

// The "Error" box text of a run refused because its log cannot be written.
std::string LogRefusalText();

class RunLog {
 public:
  explicit RunLog(platform::FileSystem& files) : files_(files) {}

  // Whether the file can be appended to now (waiting for another run's
  // hold); writes nothing, though it creates a missing file.
  bool CanAppend();

  void WriteHeader(const platform::LocalTime& now);
  // Moves what the log buffer holds into the file; nothing when it is empty.
  void FlushDuringRun();
  // At the end of a run: the rest of the buffer as it stands, between two
  // empty lines.
  void FinalFlush();

  // True once a write did not reach the file whole.
  bool WriteFailed() const { return failed_writes_ > 0; }
  // Bad-address lines in the text of failed writes: written partly or not at all.
  int UnrecordedBadAddresses() const { return unrecorded_bad_; }

 private:
  void Append(const std::string& text);
  platform::FileSystem& files_;
  int failed_writes_ = 0;
  int unrecorded_bad_ = 0;
};

}  // namespace vantrel::run
