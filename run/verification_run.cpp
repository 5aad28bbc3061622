#include "run/verification_run.h"

#include <algorithm>
#include <atomic>
#include <optional>

#include "platform/clock.h"
#include "text/clock_text.h"
#include "platform/thread.h"
#include "probe/address_pattern.h"
#include "probe/local_host_name.h"
#include "probe/slot_protocol.h"
#include "probe/task.h"
#include "run/unless_stopped.h"

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

std::string NoSenderAddressText(const std::string& from_text) {
  return "The FROM text holds no e-mail address:\r\n\r\n" + from_text +
         "\r\n\r\nMail servers judge every address by the sender's.\r\nType one, for example List owner <owner@example.com>.";
}

// The longest sleep between two looks at the stop flag.
constexpr int kStopCheckSliceMs = 50;

// Sleeps ms in short slices; false as soon as the stop flag is set.
bool SleepUnlessStopped(int ms) {
  std::atomic<std::int32_t>& stop_flag = Shared().stop_flag;
  while (ms > 0) {
    if (stop_flag.load() != 0) return false;
    int slice = ms < kStopCheckSliceMs ? ms : kStopCheckSliceMs;
    platform::SleepMs(slice);
    ms -= slice;
  }
  return stop_flag.load() == 0;
}

}  // namespace

std::string ResultsText(std::int32_t master, std::int32_t bad, const DecidedLines& decided,
                        const std::vector<std::string>& warnings) {
  // The counting lines count every line that is not bad as good; the line
  // after them tells what was really checked.
  std::string text = "I think everything is done.\r\n\r\nAddresses in master list: " + std::to_string(master) +
                     "\r\nBad addresses found: " + std::to_string(bad) +
                     "\r\nGood addresses: " + std::to_string(master - bad) +
                     "\r\nChecked: " + std::to_string(decided.good) + " good, " + std::to_string(decided.bad) +
                     " bad, " + std::to_string(decided.try_again) +
                     " to try again. Not checked: " + std::to_string(decided.not_checked) +
                     " (comments, blank lines, suspended lines and lines kept unchanged).";
  for (const std::string& warning : warnings) text += "\r\n\r\n" + warning;
  return text;
}

VerificationRun::VerificationRun(MainDialog& dialog, platform::FileSystem& files, platform::Network& network,
                                 const RunOptions& options)
    : dialog_(dialog),
      files_(files),
      network_(network),
      options_(options),
      log_(files),
      checks_(options.accept_all_check) {}

bool VerificationRun::OpenMemberList() {
  list_name_ = dialog_.GetText(kInputListBox);
  // Everything is checked before anything is disabled or written, so that a
  // refused run leaves every file as it was.
  ListProblem problem = ListProblem::kNone;
  members_ = MemberList::Open(files_, list_name_, &problem);
  if (members_) return true;
  dialog_.ShowMessageBox(problem == ListProblem::kNotFound     ? FileNotFoundText(list_name_)
                         : problem == ListProblem::kCannotOpen ? CannotOpenText(list_name_)
                                                               : ListRefusalText(problem, list_name_),
                         "Error", MessageIcon::kStop);
  return false;
}

// Checked last, since opening the log may create it: a run that cannot
// record its removals must not make any.
bool VerificationRun::LogWritable() {
  if (log_.CanAppend()) return true;
  members_.reset();
  dialog_.ShowMessageBox(LogRefusalText(), "Error", MessageIcon::kStop);
  return false;
}

// Without a sender address every dialogue would end at MAIL FROM, and no
// recipient would ever be asked about: better not to start at all.
bool VerificationRun::FromHoldsAnAddress(const std::string& from_text) {
  if (FindAddress(from_text)) return true;
  dialog_.ShowMessageBox(NoSenderAddressText(from_text), "Error", MessageIcon::kStop);
  return false;
}

void VerificationRun::DisableControls(bool disabled) {
  for (int control : kRunControls) dialog_.Enable(control, !disabled);
}

// One name for the whole run: a lookup per probe costs a reverse lookup per
// address, and a slow resolver would hold a stop.
std::optional<std::string> VerificationRun::HeloName() {
  if (!options_.helo_name.empty()) return options_.helo_name;
  platform::Network& network = network_;
  return CallUnlessStopped<std::string>([&network] { return LocalHostName(network); }, [this] {
    dialog_.ProcessOneMessage();
    return Shared().stop_flag.load() != 0;
  });
}

bool VerificationRun::StartTasks() {
  SharedState& shared = Shared();
  for (int slot = 0; slot < kTaskSlots; ++slot) {
    platform::ThreadHandle thread = StartTask(slot);
    if (thread == 0) {
      tasks_lost_ = slot == 0;
      return true;
    }
    shared.thread_handles[static_cast<std::size_t>(slot)].store(thread);
    last_slot_ = slot;
    dialog_.ProcessOneMessage();
    if (!SleepUnlessStopped(shared.waits.task_start_gap_ms)) return false;
  }
  return true;
}

RunEnd VerificationRun::Execute() {
  SharedState& shared = Shared();
  for (auto& handle : shared.thread_handles) platform::CloseThread(handle.exchange(0));
  for (auto& slot : shared.slots) slot.Reset();

  if (!OpenMemberList()) return RunEnd::kRefused;
  const std::string from_text = dialog_.GetText(kFromBox);
  if (!FromHoldsAnAddress(from_text)) return RunEnd::kRefused;
  const ProxyCheck proxy = CheckProxy();
  if (proxy == ProxyCheck::kStopped) return RunEnd::kStopped;
  if (proxy == ProxyCheck::kRefused || !LogWritable()) return RunEnd::kRefused;
  if (options_.observer != nullptr && !options_.observer->RunStarting()) return RunEnd::kRefused;
  list_size_ = std::max<std::int64_t>(files_.FileSize(list_name_), 0);
  dns_server_ = dialog_.GetText(kDnsServerControl);
  DisableControls(true);
  log_.WriteHeader(platform::NowLocal());
  if (proxy_) AppendLogLine("Through the proxy " + proxy_->Shown());
  mode_ = dialog_.IsErrorModeSelected(kRemoveButton)    ? ErrorMode::kRemove
          : dialog_.IsErrorModeSelected(kSuspendButton) ? ErrorMode::kSuspend
                                                        : ErrorMode::kWriteToFile;
  shared.stop_flag.store(0);
  shared.probes_made.store(0);
  shared.connections_opened.store(0);
  shared.proxy_failures.store(0);
  ForgetRefusalsOfUs();
  std::optional<ActiveScope> active(this);
  std::optional<std::string> helo_name = HeloName();
  if (!helo_name) return Stopped();
  // Tasks find their window through the registry and take the FROM text from
  // here; both must be this run's before the first task starts.
  RegisterMainDialog(&dialog_);
  SetTaskSettings(TaskSettings{from_text, &network_, *helo_name, proxy_});
  if (!StartTasks()) return Stopped();
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
    if (shared.stop_flag.load() != 0) return Stopped();
    log_.FlushDuringRun();
    ReportProgress();
  }
  if ((tasks_lost_ || dns_silent_) && !KeepUncheckedLines()) return Stopped();
  // A close while the "Results" box is up finds the run's files already whole.
  active.reset();
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
    Fetch fetched = Fetch::kNoJob;
    // A check waits for no line: it is queued by the verdict just taken, so
    // the slot that verdict freed can always take it.
    if (std::optional<AcceptAllJob> check = tasks_lost_ ? std::nullopt : checks_.NextJob()) {
      job = CheckJob(slot, *check);
      fetched = Fetch::kJob;
    } else if (!tasks_lost_ && !dns_silent_) {
      fetched = FetchJob(slot, &job);
    }
    if (fetched == Fetch::kStopped) return false;
    if (fetched == Fetch::kJob) {
      // What a task of an earlier run left must not pass as this job's reply.
      TakeLastReply(slot);
      assigned_[static_cast<std::size_t>(slot)] = job;
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
  const Job& job = assigned_[index];
  if (job.accept_all_check) {
    FinishCheck(job, AcceptAll::kUnknown);
    has_job_[index] = false;
    assigned_[index] = Job{};
    shared.slots[index].Store(kQuitSignal);
    return;
  }
  results_->WriteLine(job.read);
  AppendLogLine(std::to_string(slot) + " No task could take this address. Keeping it unchecked: " + job.line);
  ++unchecked_count_;
  Decide(job, LineReason::kNoTask);
  has_job_[index] = false;
  assigned_[index] = Job{};
  shared.slots[index].Store(kQuitSignal);
}

bool VerificationRun::WorkRemains() {
  for (bool has_job : has_job_) {
    if (has_job) return true;
  }
  if (checks_.Queued() && !tasks_lost_) return true;
  return !tasks_lost_ && !dns_silent_ && !members_->AtEnd();
}

bool VerificationRun::KeepUncheckedLines() {
  Job job;
  int lines_since_check = 0;
  while (members_->ReadLine(&job.read)) {
    job.number = ++master_count_;
    ReportProgress();
    results_->WriteLine(job.read);
    ++unchecked_count_;
    Decide(job, dns_silent_ ? LineReason::kDnsGivenUp : LineReason::kNoTask);
    if (++lines_since_check >= kLinesPerStopCheck) {
      lines_since_check = 0;
      if (Shared().stop_flag.load() != 0) return false;
    }
  }
  return true;
}

void VerificationRun::Finish() {
  ReleaseHeldDecisions();
  list_warning_ = members_->EndWarning(list_name_);
  members_.reset();
  results_->Close();
  log_.FinalFlush();
  ShowStatus("Idle");
  dialog_.ShowMessageBox(ResultsText(master_count_, bad_count_, decided_, Warnings()), "Results",
                         MessageIcon::kInformation);
  DisableControls(false);
}

std::vector<std::string> VerificationRun::Warnings() {
  std::vector<std::string> warnings;
  if (!results_->Complete()) {
    warnings.push_back("WARNING: Not every line could be written to " + ResultListName(list_name_) +
                       ". Keep using the input file; this result list is incomplete.");
  }
  if (bad_file_failed_) {
    warnings.push_back("WARNING: Some bad addresses could not be written to " + BadAddressFileName(list_name_) +
                       " and were kept in the result list.");
  }
  if (dns_silent_) {
    warnings.push_back("WARNING: The DNS server " + dns_server_ + " did not answer " +
                       std::to_string(kUnansweredLookupLimit) + " lookups in a row, so the run stopped there and " +
                       std::to_string(unchecked_count_) +
                       " lines were kept in the result list unchecked. Check the DNS server and run again.");
  } else if (lookups_made_ > 0 && !any_lookup_answered_) {
    // However short the list: the user must learn that nothing was checked, and why.
    warnings.push_back("WARNING: The DNS server " + dns_server_ + " answered none of the " +
                       std::to_string(lookups_made_) +
                       " lookups of this run, so no address was checked. Check the DNS server and run again.");
  }
  if (!dns_silent_ && unchecked_count_ > 0) {
    warnings.push_back("WARNING: No probe task could be started, so " + std::to_string(unchecked_count_) +
                       " lines were kept in the result list unchecked.");
  }
  const SharedState& shared = Shared();
  if (shared.probes_made.load() > 0 && shared.connections_opened.load() == 0) {
    warnings.push_back(
        proxy_ && shared.proxy_failures.load() > 0
            ? ProxyWarning()
            : "WARNING: No mail server could be reached. Outgoing connections to port 25 may be blocked on this "
              "network. The addresses were kept with \"++\" to be tried again by the next run.");
  }
  if (refusals_of_us_ > 0) {
    std::optional<RefusalOfUs> first = FirstRefusalOfUs();
    warnings.push_back("WARNING: " + std::to_string(refusals_of_us_) +
                       " addresses could not be checked because their mail servers refused this computer, its HELO "
                       "name or its sender. The first refusal came from " +
                       (first ? first->mail_host + ": " + first->reply : std::string("?")) +
                       ". They were kept with \"++\" to be tried again. Check the FROM address, the HELO name and "
                       "whether this computer's address is on a blocklist.");
  }
  if (!list_warning_.empty()) warnings.push_back(list_warning_);
  if (log_.WriteFailed()) {
    // In Remove mode the log is the only record of a removed address.
    warnings.push_back(std::string("WARNING: Not everything could be written to ") + kRunLogName + "." +
                       (mode_ == ErrorMode::kRemove ? " " + std::to_string(log_.UnrecordedBadAddresses()) +
                                                          " removed addresses may be recorded nowhere."
                                                    : ""));
  }
  if (std::int32_t good = checks_.GoodAtAcceptAll(); good > 0) {
    warnings.push_back("NOTE: " + std::to_string(good) +
                       " good addresses are at domains whose mail servers accept any address, so their \"good\" "
                       "says little. The report lists them.");
  }
  return warnings;
}

void VerificationRun::Decide(const Job& job, LineReason reason, const std::string& code,
                             const std::string& message, const std::string& last_reply) {
  const LineOutcome outcome = OutcomeOf(reason);
  decided_.Add(outcome);
  if (reason == LineReason::kRefusedUs || reason == LineReason::kHostRefusedUsEarlier) ++refusals_of_us_;
  if (options_.observer == nullptr) return;
  LineDecision decision;
  decision.line_number = job.number;
  decision.line = job.read;
  decision.outcome = outcome;
  decision.reason = reason;
  decision.verdict_code = code;
  decision.verdict_message = message;
  decision.mail_host = job.mail_host;
  decision.last_reply = last_reply;
  // The check qualifies what "good" means, so only good lines carry it.
  if (outcome == LineOutcome::kGood) {
    decision.accept_all = AcceptAllWord(checks_.ResultFor(job.domain));
    if (checks_.Hold(job.domain, decision)) return;
  }
  options_.observer->LineDecided(decision);
}

void VerificationRun::ReportProgress() {
  if (options_.observer == nullptr) return;
  options_.observer->ProgressMade(RunProgress{members_->BytesRead(), list_size_, master_count_});
}

}  // namespace vantrel::run
