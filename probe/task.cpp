#include "probe/task.h"

#include <array>
#include <atomic>
#include <mutex>

#include "platform/clock.h"
#include "text/clock_text.h"
#include "platform/thread_annotations.h"
#include "probe/shared_state.h"
#include "probe/smtp_probe.h"

namespace vantrel {

namespace {

std::mutex g_from_mutex;
std::string g_from_text VANTREL_GUARDED_BY(g_from_mutex);

std::array<std::atomic<bool>, kTaskSlots> g_alive{};

std::string FromText() {
  std::lock_guard<std::mutex> lock(g_from_mutex);
  return g_from_text;
}

// The last thing a task does. Alive is cleared before the count drops, so
// that once the count reads 0 every slot reads as free of its task.
void LeaveTask(int slot) {
  SharedState& shared = Shared();
  g_alive[static_cast<std::size_t>(slot)].store(false);
  --shared.running_tasks;
}

void ShowEnded(int slot) {
  ShowActivity(slot, kTaskColumn, "");
  ShowActivity(slot, kActivityColumn, slot == 0 ? "Idle" : "");
}

}  // namespace

void SetTaskFromText(const std::string& from_text) {
  std::lock_guard<std::mutex> lock(g_from_mutex);
  g_from_text = from_text;
}

platform::ThreadHandle StartTask(int slot) {
  std::atomic<bool>& alive = g_alive[static_cast<std::size_t>(slot)];
  alive.store(true);
  platform::ThreadHandle thread = platform::StartThread(&TaskProcedure, slot);
  if (thread == 0) alive.store(false);
  return thread;
}

bool TaskAlive(int slot) { return g_alive[static_cast<std::size_t>(slot)].load(); }

TaskVerdict VerdictForProbeResult(std::int32_t result, const std::string& mail_host, const std::string& from_text,
                                  const std::string& address) {
  TaskVerdict verdict;
  switch (result) {
    case kProbeAccepted:
      verdict.message = "Verified as good: " + address;
      verdict.slot_text = ": 200 OK";
      return verdict;
    case kProbeHostUnreachable:
      verdict.message = "Remote SMTP server (" + mail_host + ") unreachable.";
      verdict.slot_text = ": 400 " + verdict.message;
      return verdict;
    case kProbeSenderRefused:
      verdict.message = "Remote server (" + mail_host + ") does not accept mail from \"" + from_text + "\"";
      break;
    case kProbeRecipientRefused:
      verdict.message = "Remote server (" + mail_host + ") does not accept mail to \"" + address + "\"";
      break;
    default:
      verdict.message = "ERROR: Unknown error code (" + std::to_string(result) + ") found. Please report.";
      break;
  }
  verdict.slot_text = ": 500 " + verdict.message;
  return verdict;
}

void TaskProcedure(int slot) {
  SharedState& shared = Shared();
  TaskSlot& my_slot = shared.slots[static_cast<std::size_t>(slot)];
  ++shared.running_tasks;
  // The registry holds this program's own window only, never another
  // instance's.
  shared.main_dialog.store(FindMainDialog(kMainCaption));
  const std::string from_text = FromText();
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
    if (value.empty() || raw[0] == ':') {
      ShowActivity(slot, kActivityColumn, "Waiting " + text::ClockText(platform::NowLocal()));
      platform::SleepMs(waits.idle_poll_ms);
      if (++idle_polls > waits.idle_limit_polls) break;
      continue;
    }

    idle_polls = 0;
    std::size_t separator = value.find(kJobSeparator);
    if (separator == std::string::npos) {
      my_slot.Store(": NO DNS");
      continue;
    }
    const std::string address = value.substr(0, separator);
    const std::string mail_host = value.substr(separator + 1);
    ShowActivity(slot, kActivityColumn, "Connecting to " + mail_host + " for " + address);
    std::int32_t result = ProbeAddress(shared.main_dialog.load(), mail_host, from_text, address, slot);
    if (shared.stop_flag.load() != 0) {
      LeaveTask(slot);
      return;
    }
    ShowActivity(slot, kActivityColumn, "Processing " + address);
    TaskVerdict verdict = VerdictForProbeResult(result, mail_host, from_text, address);
    ShowActivity(slot, kActivityColumn, verdict.message);
    my_slot.Store(verdict.slot_text);
    AppendLogLine(std::to_string(slot) + " ?" + verdict.message);
  }
  ShowEnded(slot);
  LeaveTask(slot);
}

}  // namespace vantrel
