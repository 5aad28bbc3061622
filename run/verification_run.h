// One verification run, from the file check to the "Results" box. Its state
// lives here only while Run verification runs; nothing of it outlasts the run
// but what it wrote to disk.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dns/dns_codec.h"
#include "platform/file.h"
#include "platform/network.h"
#include "probe/shared_state.h"
#include "run/member_list.h"
#include "run/result_files.h"
#include "run/run_controller.h"
#include "run/run_log.h"
#include "dialog/main_dialog.h"

namespace vantrel::run {

enum class ErrorMode : int { kRemove = 1, kSuspend = 2, kWriteToFile = 3 };

class VerificationRun {
 public:
  VerificationRun(MainDialog& dialog, platform::FileSystem& files, platform::Network& network,
                  const RunOptions& options);
  RunEnd Execute();

 private:
  enum class Fetch { kJob, kNoJob, kStopped };
  struct Job {
    std::string line;  // as it is written back
    std::string text;  // address, code 1, mail host
  };

  bool OpenMemberList();
  void DisableControls(bool disabled);
  void StartTasks();
  bool PollSlot(int slot);  // false when the stop flag was seen
  Fetch FetchJob(int slot, Job* job);
  void TakeVerdict(int slot, const std::string& raw);
  void JudgeBad(int slot, const std::string& verdict, const std::string& line);
  void KeepAlive(int slot);
  bool WorkRemains();
  void KeepUncheckedLines();
  void Finish();

  MainDialog& dialog_;
  platform::FileSystem& files_;
  platform::Network& network_;
  RunOptions options_;
  std::string dns_server_;
  RunLog log_;
  std::string list_name_;
  ErrorMode mode_ = ErrorMode::kWriteToFile;
  std::unique_ptr<MemberList> members_;
  std::unique_ptr<ResultList> results_;
  dns::MxRecordList mx_records_;

  std::array<std::string, kTaskSlots> assigned_;
  std::array<bool, kTaskSlots> has_job_{};
  int last_slot_ = -1;
  std::int32_t master_count_ = 0;
  std::int32_t bad_count_ = 0;
  bool tasks_lost_ = false;        // a task could not be (re)started
  bool bad_file_failed_ = false;   // a bad-address entry went to the result list instead
  std::int32_t unchecked_count_ = 0;  // lines kept without a probe
};

// The "Results" box text, with a warning for every way in which the files
// the run leaves are not what a complete run would leave.
std::string ResultsText(std::int32_t master, std::int32_t bad, const std::vector<std::string>& warnings);

}  // namespace vantrel::run
