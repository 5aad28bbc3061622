#include "probe/task.h"

#include <optional>

#include "platform/clock.h"
#include "text/clock_text.h"
#include "probe/proxied_network.h"
#include "probe/shared_state.h"
#include "probe/slot_protocol.h"
#include "probe/smtp_probe.h"

namespace vantrel {

namespace {

TaskSettings CurrentTaskSettings() {
  SharedState& shared = Shared();
  platform::MutexLock lock(shared.task_settings_mutex);
  return shared.task_settings;
}

// The last thing a task does. Alive is cleared before the count drops, so
// that once the count reads 0 every slot reads as free of its task.
void LeaveTask(int slot) {
  SharedState& shared = Shared();
  shared.task_alive[static_cast<std::size_t>(slot)].store(false);
  --shared.running_tasks;
}

void ShowEnded(int slot) {
  ShowActivity(slot, kTaskColumn, "");
  ShowActivity(slot, kActivityColumn, slot == 0 ? "Idle" : "");
}

}  // namespace

void SetTaskSettings(const TaskSettings& settings) {
  SharedState& shared = Shared();
  platform::MutexLock lock(shared.task_settings_mutex);
  shared.task_settings = settings;
}

platform::ThreadHandle StartTask(int slot) {
  std::atomic<bool>& alive = Shared().task_alive[static_cast<std::size_t>(slot)];
  alive.store(true);
  platform::ThreadHandle thread = platform::StartThread(&TaskProcedure, slot);
  if (thread == 0) alive.store(false);
  return thread;
}

bool TaskAlive(int slot) { return Shared().task_alive[static_cast<std::size_t>(slot)].load(); }

TaskVerdict VerdictForProbeResult(std::int32_t result, const std::string& mail_host, const std::string& from_text,
                                  const std::string& address, const std::string& reply) {
  TaskVerdict verdict;
  if (result == kProbeAccepted) {
    verdict.message = "Verified as good: " + address;
    verdict.slot_text = EncodeVerdict(kCodeGood, "OK");
    return verdict;
  }
  // Only a permanent refusal of the recipient by its own server makes an
  // address bad; anything that ended the dialogue before that answer (even
  // a fault of ours) says nothing about the subscriber: try again.
  const char* code = kCodeTryAgain;
  switch (result) {
    case kProbeHostUnreachable:
      verdict.message = "Remote SMTP server (" + mail_host + ") unreachable.";
      break;
    case kProbeSenderRefused:
      verdict.message = "Remote server (" + mail_host + ") does not accept mail from \"" + from_text + "\"";
      break;
    case kProbeRecipientRefused:
      code = kCodeBad;
      [[fallthrough]];
    case kProbeRecipientDeferred:
      verdict.message = "Remote server (" + mail_host + ") does not accept mail to \"" + address + "\"";
      break;
    case kProbeRefusedUs:
      verdict.message = "Remote server (" + mail_host + ") refused this computer, not the address: " + reply;
      break;
    case kProbeNoRelay:
      verdict.message = "Remote server (" + mail_host + ") does not take mail for this domain: " + reply;
      break;
    case kProbeMailboxFull:
      verdict.message = "Remote server (" + mail_host + ") says the mailbox of \"" + address + "\" is full";
      break;
    case kProbeHostRefusedEarlier:
      verdict.message = "Not checked: its mail server (" + mail_host + ") refused this computer earlier in this run.";
      break;
    default:
      verdict.message = "ERROR: Unknown error code (" + std::to_string(result) + ") found. Please report.";
      break;
  }
  verdict.slot_text = EncodeVerdict(code, verdict.message);
  return verdict;
}

void TaskProcedure(int slot) {
  SharedState& shared = Shared();
  TaskSlot& my_slot = shared.slots[static_cast<std::size_t>(slot)];
  ++shared.running_tasks;
  // The registry holds this program's own window only, never another
  // instance's.
  shared.dialog_found.store(FindMainDialog(kMainCaption) != nullptr);
  const TaskSettings settings = CurrentTaskSettings();
  const std::string& from_text = settings.from_text;
  platform::Network& direct = settings.network != nullptr ? *settings.network : platform::RealNetwork();
  std::optional<ProxiedNetwork> proxied;
  if (settings.proxy) proxied.emplace(direct, *settings.proxy, slot);
  platform::Network& network = proxied ? static_cast<platform::Network&>(*proxied) : direct;
  const Waits waits = shared.waits;

  ShowActivity(slot, kTaskColumn, std::to_string(slot + 1));
  ShowActivity(slot, kActivityColumn, "Initializing");

  int idle_polls = 0;
  for (;;) {
    std::string raw = my_slot.Read();
    std::string value = TrimSlotText(raw);
    if (value == kQuitSignal) break;
    if (shared.stop_flag.load() != 0) {
      LeaveTask(slot);
      return;
    }
    if (value.empty() || HoldsVerdict(raw)) {
      ShowActivity(slot, kActivityColumn, "Waiting " + text::ClockText(platform::NowLocal()));
      platform::SleepMs(waits.idle_poll_ms);
      if (++idle_polls > waits.idle_limit_polls) break;
      continue;
    }

    idle_polls = 0;
    std::optional<JobText> job = DecodeJob(value);
    if (!job) {
      my_slot.Store(": NO DNS");
      continue;
    }
    const std::string& address = job->address;
    const std::string& mail_host = job->mail_host;
    ShowActivity(slot, kActivityColumn, "Connecting to " + mail_host + " for " + address);
    ProbeDetail detail;
    std::int32_t result = ProbeAddress(network, mail_host, from_text, address, slot, settings.helo_name, &detail);
    if (shared.stop_flag.load() != 0) {
      LeaveTask(slot);
      return;
    }
    ShowActivity(slot, kActivityColumn, "Processing " + address);
    TaskVerdict verdict = VerdictForProbeResult(result, mail_host, from_text, address, detail.reply);
    ShowActivity(slot, kActivityColumn, verdict.message);
    // Before the verdict: the run reads the outcome once it sees the verdict.
    SetProbeOutcome(slot, detail.outcome);
    my_slot.Store(verdict.slot_text);
    AppendLogLine(std::to_string(slot) + " ?" + verdict.message);
  }
  ShowEnded(slot);
  LeaveTask(slot);
}

}  // namespace vantrel
