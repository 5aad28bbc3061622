// What a run leaves when it is stopped (the window closed, Ctrl-C): a result
// list that still holds every line of the member list, and its log written
// out. The exit sequence reaches the run here while the run waits beneath
// it in a message step, so this works from whatever state the run is in
// between two of its steps.
#include <functional>
#include <string_view>

#include "probe/slot_protocol.h"
#include "run/verification_run.h"

namespace vantrel::run {

namespace {

// The run between its start and its "Results" box, if any. Only the
// dialog's thread touches it.
VerificationRun* g_active_run = nullptr;

}  // namespace

VerificationRun::ActiveScope::ActiveScope(VerificationRun* run) { g_active_run = run; }
VerificationRun::ActiveScope::~ActiveScope() { g_active_run = nullptr; }

void VerificationRun::SaveActiveRunOnStop() {
  if (g_active_run != nullptr) g_active_run->SaveOnStop();
}

// Whoever takes the result list for the cleaned list must lose nobody: every
// line not decided goes back as it was read. Verdicts already in their slots
// are taken; the rest of the list is copied as bytes, so that even a long
// rest fits in the stop's time. Once per run; called again, it only writes
// out what the tasks have logged since.
void VerificationRun::SaveOnStop() {
  if (saved_on_stop_) {
    log_.FlushDuringRun();
    return;
  }
  saved_on_stop_ = true;
  // Stopped while the tasks were starting: the result list is not open yet.
  if (!results_) results_ = std::make_unique<ResultList>(files_, ResultListName(list_name_));
  std::int64_t copied = 0;
  for (int slot = 0; slot <= last_slot_; ++slot) {
    std::size_t index = static_cast<std::size_t>(slot);
    if (!has_job_[index]) continue;
    std::string raw = Shared().slots[index].Read();
    if (HoldsVerdict(raw)) {
      TakeVerdict(slot, raw);
      continue;
    }
    if (assigned_[index].accept_all_check) {
      FinishCheck(assigned_[index], AcceptAll::kUnknown);
    } else {
      KeepUnchecked(assigned_[index]);
      ++copied;
    }
    has_job_[index] = false;
    assigned_[index] = Job{};
  }
  if (holding_line_) {
    KeepUnchecked(in_hand_);
    ++copied;
    holding_line_ = false;
  }
  // A report keeps a row for every line, the ones copied unread included.
  Job unread;
  unread.number = master_count_;
  std::function<void(std::string_view)> each_line;
  if (options_.observer != nullptr && options_.observer->KeepsEveryLine()) {
    each_line = [this, &unread](std::string_view line) {
      ++unread.number;
      unread.read.assign(line);
      Decide(unread, LineReason::kStopped);
    };
  }
  copied += members_->CopyRest([this](std::string_view bytes) { return results_->WriteBytes(bytes); }, each_line);
  results_->Close();
  const bool whole = results_->Complete();
  // There is no "Results" box after a stop: a list that would lose
  // subscribers if it replaced the member list must say so here.
  const std::string error = "ERROR: The result list " + ResultListName(list_name_) +
                            " could not be written in full; the member list is unchanged.";
  if (!whole) AppendLogLine(error);
  log_.FlushDuringRun();
  ReleaseHeldDecisions();
  if (options_.observer != nullptr) options_.observer->RunStopped(RunStop{master_count_, copied, whole});
  if (!whole) dialog_.ShowMessageBox(error, "Error", MessageIcon::kStop);
}

void VerificationRun::KeepUnchecked(const Job& job) {
  results_->WriteLine(job.read);
  ++unchecked_count_;
  Decide(job, LineReason::kStopped);
}

}  // namespace vantrel::run
