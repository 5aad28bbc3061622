#include "run/verification_run.h"

#include "platform/clock.h"
#include "text/clock_text.h"
#include "platform/thread.h"
#include "probe/slot_protocol.h"
#include "probe/task.h"

namespace vantrel::run {

namespace {

// The controls a run disables, in this order, and enables again at its end.
constexpr int kRunControls[] = {kFromBox,        kInputListBox,  kBrowseButton,      kDnsServerControl,
                                kBodyCheckBox,   kRemoveButton,  kSuspendButton,     kWriteToFileButton,
                                kGoButton,       kAboutButton};

std::string FileNotFoundText(const std::string& name) {
  return "File not found.\r\n\r\n" + name + "\r\n\r\nClick the [...] button to\r\nbrowse for the input file.";
}

std::string CannotOpenText(const std::string& name) {
  return "Cannot open the input file.\r\n\r\n" + name +
         "\r\n\r\nIt may be in use by another program.\r\nClose it there and try again.";
}

}  // namespace

std::string ResultsText(std::int32_t master, std::int32_t bad, const std::vector<std::string>& warnings) {
  std::string text = "I think everything is done.\r\n\r\nAddresses in master list: " + std::to_string(master) +
                     "\r\nBad addresses found: " + std::to_string(bad) +
                     "\r\nGood addresses: " + std::to_string(master - bad);
  for (const std::string& warning : warnings) text += "\r\n\r\n" + warning;
  return text;
}

VerificationRun::VerificationRun(MainDialog& dialog, platform::FileSystem& files, platform::Network& network,
                                 const RunOptions& options)
    : dialog_(dialog), files_(files), network_(network), options_(options), log_(files) {}

bool VerificationRun::OpenMemberList() {
  list_name_ = dialog_.GetText(kInputListBox);
  // Everything is checked before anything is disabled or written, so that a
  // refused run leaves every file as it was. The log comes last: a run that
  // cannot record its removals must not make any.
  ListProblem problem = ListProblem::kNone;
  members_ = MemberList::Open(files_, list_name_, &problem);
  std::string refusal = problem == ListProblem::kNotFound     ? FileNotFoundText(list_name_)
                        : problem == ListProblem::kCannotOpen ? CannotOpenText(list_name_)
                                                              : ListRefusalText(problem, list_name_);
  if (members_ && !log_.CanAppend()) {
    members_.reset();
    refusal = LogRefusalText();
  }
  if (members_) return true;
  dialog_.ShowMessageBox(refusal, "Error", MessageIcon::kStop);
  return false;
}

void VerificationRun::DisableControls(bool disabled) {
  for (int control : kRunControls) dialog_.Enable(control, !disabled);
}

void VerificationRun::StartTasks() {
  SharedState& shared = Shared();
  for (int slot = 0; slot < kTaskSlots; ++slot) {
    platform::ThreadHandle thread = StartTask(slot);
    if (thread == 0) {
      tasks_lost_ = slot == 0;
      return;
    }
    shared.thread_handles[static_cast<std::size_t>(slot)].store(thread);
    last_slot_ = slot;
    dialog_.ProcessOneMessage();
    platform::SleepMs(shared.waits.task_start_gap_ms);
  }
}

RunEnd VerificationRun::Execute() {
  SharedState& shared = Shared();
  for (auto& handle : shared.thread_handles) platform::CloseThread(handle.exchange(0));
  for (auto& slot : shared.slots) slot.Reset();

  if (!OpenMemberList()) return RunEnd::kRefused;
  dns_server_ = dialog_.GetText(kDnsServerControl);
  DisableControls(true);
  log_.WriteHeader(platform::NowLocal());
  mode_ = dialog_.IsErrorModeSelected(kRemoveButton)    ? ErrorMode::kRemove
          : dialog_.IsErrorModeSelected(kSuspendButton) ? ErrorMode::kSuspend
                                                        : ErrorMode::kWriteToFile;
  shared.stop_flag.store(0);
  // Tasks find their window through the registry and take the FROM text from
  // here; both must be this run's before the first task starts.
  RegisterMainDialog(&dialog_);
  SetTaskSettings(TaskSettings{dialog_.GetText(kFromBox), &network_, options_.helo_name});
  StartTasks();
  results_ = std::make_unique<ResultList>(files_, ResultListName(list_name_));

  while (last_slot_ >= 0 && (shared.running_tasks.load() > 0 || WorkRemains())) {
    ShowStatus(std::to_string(shared.running_tasks.load()) + " tasks running  (" +
               text::ClockText(platform::NowLocal()) + ")");
    bool stopped = false;
    for (int slot = 0; slot <= last_slot_ && !stopped; ++slot) stopped = !PollSlot(slot);
    if (!stopped) {
      dialog_.ProcessOneMessage();
      platform::SleepMs(shared.waits.round_sleep_ms);
    }
    if (shared.stop_flag.load() != 0) return RunEnd::kStopped;
    log_.FlushDuringRun();
  }
  Finish();
  return RunEnd::kCompleted;
}

bool VerificationRun::PollSlot(int slot) {
  TaskSlot& task_slot = Shared().slots[static_cast<std::size_t>(slot)];
  std::string raw = task_slot.Read();
  bool free = TrimSlotText(raw).empty();
  if (HoldsVerdict(raw)) {
    if (has_job_[static_cast<std::size_t>(slot)]) {
      TakeVerdict(slot, raw);
      free = true;
    } else {
      task_slot.Store(kQuitSignal);
    }
  }
  if (free) {
    Job job;
    Fetch fetched = tasks_lost_ ? Fetch::kNoJob : FetchJob(slot, &job);
    if (fetched == Fetch::kStopped) return false;
    if (fetched == Fetch::kJob) {
      assigned_[static_cast<std::size_t>(slot)] = job.line;
      has_job_[static_cast<std::size_t>(slot)] = true;
      task_slot.Store(job.text);
    } else {
      task_slot.Store(kQuitSignal);
    }
  }
  KeepAlive(slot);
  return true;
}

// A task ends by itself after a minute without work, which a run of slow
// lookups on this thread can cause while lines are still unread. A job must
// never wait in a slot that nobody reads, so its task is started again.
void VerificationRun::KeepAlive(int slot) {
  std::size_t index = static_cast<std::size_t>(slot);
  if (!has_job_[index] || TaskAlive(slot)) return;
  SharedState& shared = Shared();
  platform::CloseThread(shared.thread_handles[index].exchange(0));
  platform::ThreadHandle thread = StartTask(slot);
  if (thread != 0) {
    shared.thread_handles[index].store(thread);
    return;
  }
  // Without threads nothing more can be probed: the job goes back to the
  // result list as it was read, and so does every line still unread.
  tasks_lost_ = true;
  results_->WriteLine(assigned_[index]);
  AppendLogLine(std::to_string(slot) + " No task could take this address. Keeping it unchecked: " +
                assigned_[index]);
  ++unchecked_count_;
  has_job_[index] = false;
  assigned_[index].clear();
  shared.slots[index].Store(kQuitSignal);
}

bool VerificationRun::WorkRemains() {
  if (tasks_lost_) return false;
  for (bool has_job : has_job_) {
    if (has_job) return true;
  }
  return !members_->AtEnd();
}

void VerificationRun::KeepUncheckedLines() {
  std::string line;
  while (members_->ReadLine(&line)) {
    ++master_count_;
    results_->WriteLine(line);
    ++unchecked_count_;
  }
}

void VerificationRun::Finish() {
  if (tasks_lost_) KeepUncheckedLines();
  const std::string list_warning = members_->EndWarning(list_name_);
  members_.reset();
  results_->Close();
  log_.FinalFlush();
  ShowStatus("Idle");

  std::vector<std::string> warnings;
  if (!results_->Complete()) {
    warnings.push_back("WARNING: Not every line could be written to " + ResultListName(list_name_) +
                       ". Keep using the input file; this result list is incomplete.");
  }
  if (bad_file_failed_) {
    warnings.push_back("WARNING: Some bad addresses could not be written to " + BadAddressFileName(list_name_) +
                       " and were kept in the result list.");
  }
  if (unchecked_count_ > 0) {
    warnings.push_back("WARNING: No probe task could be started, so " + std::to_string(unchecked_count_) +
                       " lines were kept in the result list unchecked.");
  }
  if (!list_warning.empty()) warnings.push_back(list_warning);
  if (log_.WriteFailed()) {
    // In Remove mode the log is the only record of a removed address.
    warnings.push_back(std::string("WARNING: Not everything could be written to ") + kRunLogName + "." +
                       (mode_ == ErrorMode::kRemove ? " " + std::to_string(log_.UnrecordedBadAddresses()) +
                                                          " removed addresses may be recorded nowhere."
                                                    : ""));
  }
  dialog_.ShowMessageBox(ResultsText(master_count_, bad_count_, warnings), "Results", MessageIcon::kInformation);
  DisableControls(false);
}

}  // namespace vantrel::run
