// The state that the run controller, the probe tasks and the window's exit
// share: the ten task slots, the stop flag, the log buffer, the main dialog,
// the running task count and the thread handle table. One instance per
// process; it is never destroyed, so a task still alive at exit finds it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "platform/mutex.h"
#include "platform/network.h"
#include "platform/thread.h"
#include "probe/probe_outcome.h"
#include "dialog/main_dialog.h"
#include "probe/proxy_address.h"

namespace vantrel {

inline constexpr int kTaskSlots = 10;
inline constexpr std::size_t kSlotSize = 256;

// The waits of a run. The product keeps these values; tests shorten them
// before a run starts.
struct Waits {
  int smtp_wait_ms = 60000;     // each wait of the SMTP line channel
  int quit_pause_ms = 300;      // after QUIT, before the connection is closed
  int idle_poll_ms = 500;       // an idle task's poll interval
  int idle_limit_polls = 120;   // an idle task ends after more polls than this
  int task_start_gap_ms = 300;  // between two task starts
  int round_sleep_ms = 10;      // the controller's polling round
  int dns_wait_ms = 10000;      // the MX lookup's receive time-out
  int exit_wait_ms = 1000;      // the exit sequence's grace for tasks
  int suspend_pause_ms = 100;   // the exit's pauses around each suspend
  int file_lock_wait_ms = 10000;  // for another program's hold on the run log or bad-address file
};

// A fixed text of 256 characters, stored and read whole under its own lock.
class TaskSlot {
 public:
  TaskSlot() { Reset(); }
  TaskSlot(const TaskSlot&) = delete;
  TaskSlot& operator=(const TaskSlot&) = delete;

  void Reset() VANTREL_EXCLUDES(mutex_);  // 256 NULs: a freshly created slot
  // Copies text, cut to 256 characters, and fills the rest with blanks.
  void Store(const std::string& text) VANTREL_EXCLUDES(mutex_);
  std::string Read() const VANTREL_EXCLUDES(mutex_);  // all 256 characters

 private:
  mutable platform::Mutex mutex_;
  std::array<char, kSlotSize> text_ VANTREL_GUARDED_BY(mutex_);
};

// What every task of a run takes at its start: the FROM text, read from the
// box on the dialog's thread so that no task touches a control, and the way
// to the mail hosts.
struct TaskSettings {
  std::string from_text;
  platform::Network* network = nullptr;
  std::optional<std::string> helo_name;  // none: each probe looks this computer's name up
  std::optional<ProxyAddress> proxy;     // set: every SMTP connection goes through it
};

// The first mail host of a run that refused this computer, and what it said.
struct RefusalOfUs {
  std::string mail_host;
  std::string reply;
};

struct SharedState {
  std::array<TaskSlot, kTaskSlots> slots;
  std::atomic<std::int32_t> stop_flag{0};  // 0 continue, anything else stop
  // Set once a task has found the window by its caption; the window itself
  // is kept by the registry (dialog/main_dialog.h) alone.
  std::atomic<bool> dialog_found{false};
  std::atomic<int> running_tasks{0};
  std::array<std::atomic<platform::ThreadHandle>, kTaskSlots> thread_handles{};
  Waits waits;  // set before a run's tasks start, read only afterwards

  // Dialogues begun and connections opened since the run reset them: a run in
  // which no connection ever opened says so in its "Results".
  std::atomic<int> probes_made{0};
  std::atomic<int> connections_opened{0};
  // Connections the proxy did not open, and why the last one failed, in
  // words: a run in which the proxy reached no mail server says that instead.
  std::atomic<int> proxy_failures{0};
  platform::Mutex proxy_failure_mutex;
  std::string last_proxy_failure VANTREL_GUARDED_BY(proxy_failure_mutex);

  // False once a slot's task has stopped reading its slot for good.
  std::array<std::atomic<bool>, kTaskSlots> task_alive{};

  platform::Mutex log_mutex;
  std::string log_buffer VANTREL_GUARDED_BY(log_mutex);

  // The last reply line each task's server sent in its latest dialogue, for
  // the run's report.
  platform::Mutex last_reply_mutex;
  std::array<std::string, kTaskSlots> last_replies VANTREL_GUARDED_BY(last_reply_mutex);

  // How each task's latest dialogue ended, stored before its verdict, for
  // the run's log and report.
  std::array<ProbeOutcome, kTaskSlots> probe_outcomes VANTREL_GUARDED_BY(last_reply_mutex){};

  // Mail hosts (address texts) that refused this computer in this run: no
  // task connects to them again, and the run hands them no more jobs.
  platform::Mutex refusal_mutex;
  std::set<std::string> hosts_refusing_us VANTREL_GUARDED_BY(refusal_mutex);
  std::optional<RefusalOfUs> first_refusal_of_us VANTREL_GUARDED_BY(refusal_mutex);

  // A task of the last run may still be ending while the next run starts.
  platform::Mutex task_settings_mutex;
  TaskSettings task_settings VANTREL_GUARDED_BY(task_settings_mutex);
};

SharedState& Shared();

// "Status: " + text in the status bar; nothing before the first task started.
void ShowStatus(const std::string& text);
// CR LF + text at the end of the log buffer.
void AppendLogLine(const std::string& text);
// The log buffer's whole content, leaving it empty, in one step that appends
// cannot interleave with.
std::string TakeLogBuffer();
bool LogBufferEmpty();
// How many characters the log buffer holds now.
std::size_t LogBufferSize();
// The server's last reply line in slot's latest dialogue; taking it clears it.
void SetLastReply(int slot, const std::string& line);
std::string TakeLastReply(int slot);
// How slot's latest dialogue ended.
void SetProbeOutcome(int slot, ProbeOutcome outcome);
ProbeOutcome ProbeOutcomeOf(int slot);

// Refusals of this computer in the current run; a run forgets them at its start.
void RecordRefusalOfUs(const std::string& mail_host, const std::string& reply);
bool HostRefusedUs(const std::string& mail_host);
std::optional<RefusalOfUs> FirstRefusalOfUs();
void ForgetRefusalsOfUs();
// Counts a connection the proxy did not open; words say why.
void NoteProxyFailure(const std::string& words);
std::string LastProxyFailure();

// One task list cell, cut to its first 127 characters; nothing before the
// first task started.
void ShowActivity(int row, int column, const std::string& text);

}  // namespace vantrel
