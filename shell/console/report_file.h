// --report FILE: one CSV row (RFC 4180, UTF-8 bytes as read) per member-list
// line as the run decides it. Rows are held in memory only until the run
// next reports progress (after each line read and once per polling round),
// until a stop has put every line back, or until the face flushes at the
// end, so a run that is stopped leaves a report that parses, and a stop that
// hands over a million unread lines does not write a million times.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "run/run_observer.h"

namespace vantrel::console {

class ReportFile : public RunObserver {
 public:
  ReportFile(platform::FileSystem& files, std::string name);
  ~ReportFile() override { Flush(); }

  // Creates (or empties) the file and writes the header row.
  bool Open();
  // Writes out the rows held; false once a row could not be written.
  bool Flush();
  // True once a row could not be written in full; later rows are dropped.
  bool Failed() const { return failed_; }
  // True when the run was refused because the file could not be created.
  bool OpenFailed() const { return open_failed_; }
  const std::string& name() const { return name_; }

  // Not before: a run refused by its own checks must find the file as it was.
  bool RunStarting() override;
  void LineDecided(const LineDecision& decision) override;
  bool KeepsEveryLine() const override { return true; }
  void ProgressMade(const RunProgress&) override { Flush(); }
  void RunStopped(const RunStop&) override { Flush(); }

 private:
  void Put(const std::string& row);

  platform::FileSystem& files_;
  const std::string name_;
  static constexpr std::size_t kHeldBytes = 64 * 1024;
  std::unique_ptr<platform::WritableFile> file_;
  std::string held_;  // whole rows not yet written
  bool failed_ = false;
  bool open_failed_ = false;
};

// Which of the run's own files the report would be, as a message names it
// ("the member list \"x\""), or empty when none. Written over, the list,
// the settings, the log, the result list or the bad-address file would be
// lost, so a report there is refused before anything is opened.
std::string ReportClash(platform::FileSystem& files, const std::string& report, const std::string& list_name);

// The report's word for an outcome.
const char* OutcomeName(LineOutcome outcome);

// One CSV record with its CR LF: a field is quoted when it holds a comma, a
// quote, a CR or an LF, and its quotes are doubled.
std::string CsvRecord(const std::vector<std::string_view>& fields);

}  // namespace vantrel::console
