// One verification run, from the file check to the "Results" box. Its state
// lives here only while Run verification runs; nothing of it outlasts the run
// but what it wrote to disk.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dns/dns_codec.h"
#include "platform/file.h"
#include "platform/network.h"
#include "probe/proxy_address.h"
#include "probe/shared_state.h"
#include "run/mail_host.h"
#include "run/member_list.h"
#include "run/accept_all_checks.h"
#include "run/line_reason.h"
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

  // The run under way on the dialog's thread, if any, puts back what it
  // holds (see SaveOnStop); the exit sequence calls this while the run waits
  // beneath it in a message step.
  static void SaveActiveRunOnStop();

 private:
  // A long stretch of lines that need no probe looks at the stop flag and
  // writes out the log this often, so that neither waits on the stretch.
  static constexpr int kLinesPerStopCheck = 256;
  // Lookups in a row without any reply after which the DNS server is taken
  // for dead: each costs the whole DNS wait, and every later one would too.
  static constexpr int kUnansweredLookupLimit = 10;
  // Tasks keep appending while lookups wait; past this the log goes to the file.
  static constexpr std::size_t kLogBufferLimit = 64 * 1024;

  enum class Fetch { kJob, kNoJob, kStopped };
  enum class ProxyCheck { kReady, kRefused, kStopped };
  // A member list line on its way through the run, from the moment it is
  // read until it is decided.
  struct Job {
    std::int64_t number = 0;  // 1 for the member list's first line
    std::string read;         // as read
    std::string line;         // as it is written back
    std::string text;         // address, code 1, mail host
    std::string mail_host;
    std::string domain;       // as looked up
    bool accept_all_check = false;  // no line: the check of domain
  };
  bool OpenMemberList();
  bool LogWritable();
  bool FromHoldsAnAddress(const std::string& from_text);
  ProxyCheck CheckProxy();  // run/proxy_check.cpp
  ProxyCheck RefuseProxy(const std::string& text);
  std::string ProxyWarning();
  void DisableControls(bool disabled);
  bool StartTasks();  // false when the stop flag was seen
  bool PollSlot(int slot);  // false when the stop flag was seen
  Fetch FetchJob(int slot, Job* job);
  bool CountLookup(int slot, MailHost::Outcome outcome);  // false when the DNS server is given up
  void TakeVerdict(int slot, const std::string& raw);
  void KeepToTryAgain(int slot, const std::string& verdict, const std::string& line);
  void KeepNotChecked(int slot, const std::string& mail_host, const std::string& line);
  void JudgeBad(int slot, const std::string& verdict, const std::string& line);
  void KeepAlive(int slot);
  bool WorkRemains();
  bool KeepUncheckedLines();  // false when the stop flag was seen
  // What a stop leaves (stopped_run.cpp). While an ActiveScope lasts, its
  // run is the one the exit sequence reaches.
  class ActiveScope {
   public:
    explicit ActiveScope(VerificationRun* run);
    ~ActiveScope();
    ActiveScope(const ActiveScope&) = delete;
    ActiveScope& operator=(const ActiveScope&) = delete;
  };
  void SaveOnStop();
  RunEnd Stopped() {
    SaveOnStop();
    return RunEnd::kStopped;
  }
  void KeepUnchecked(const Job& job);
  void Finish();
  std::vector<std::string> Warnings();
  // Counts how a line read was decided and tells the observer, if any; every
  // line read is decided once, except those in hand when the stop flag ends
  // the run.
  void Decide(const Job& job, LineReason reason, const std::string& code = std::string(),
              const std::string& message = std::string(), const std::string& last_reply = std::string());
  Job CheckJob(int slot, const AcceptAllJob& check);
  // Marks the domain and tells the observer the decisions that waited for it.
  void FinishCheck(const Job& job, AcceptAll result);
  void ReleaseHeldDecisions();
  // The HELO name of every probe of this run; nothing when the stop flag came first.
  std::optional<std::string> HeloName();
  void ReportProgress();

  MainDialog& dialog_;
  platform::FileSystem& files_;
  platform::Network& network_;
  RunOptions options_;
  std::string dns_server_;
  std::optional<ProxyAddress> proxy_;  // every SMTP connection goes through it
  std::string list_warning_;  // why reading the list stopped early, if it did
  RunLog log_;
  std::string list_name_;
  std::int64_t list_size_ = 0;
  ErrorMode mode_ = ErrorMode::kWriteToFile;
  std::unique_ptr<MemberList> members_;
  std::unique_ptr<ResultList> results_;
  dns::MxRecordList mx_records_;

  std::array<Job, kTaskSlots> assigned_;
  std::array<bool, kTaskSlots> has_job_{};
  int last_slot_ = -1;
  std::int32_t master_count_ = 0;
  std::int32_t bad_count_ = 0;
  bool tasks_lost_ = false;        // a task could not be (re)started
  bool dns_silent_ = false;        // the DNS server stopped answering: fetch no more
  int lookups_unanswered_ = 0;     // in a row
  bool bad_file_failed_ = false;   // a bad-address entry went to the result list instead
  std::int32_t unchecked_count_ = 0;  // lines kept without a probe
  DecidedLines decided_;
  AcceptAllChecks checks_;
  std::int32_t refusals_of_us_ = 0;  // lines kept because a mail server refused this computer
  std::int32_t lookups_made_ = 0;
  bool any_lookup_answered_ = false;
  Job in_hand_;                // the line being fetched: read, not yet decided or handed out
  bool holding_line_ = false;  // in_hand_ holds such a line
  bool saved_on_stop_ = false;
};

// The "Results" box text: the counts, the decided lines, and a warning for
// every way in which the files the run leaves are not what a complete run
// would leave.
std::string ResultsText(std::int32_t master, std::int32_t bad, const DecidedLines& decided,
                        const std::vector<std::string>& warnings);

}  // namespace vantrel::run
