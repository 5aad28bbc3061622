// What a run tells about each line as it decides it, for a face that shows
// progress or keeps a report. The run calls it on the dialog's thread, in
// the order the decisions are made; a run without an observer tells nobody.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "probe/proxy_address.h"
#include "run/line_reason.h"

namespace vantrel {

struct LineDecision {
  std::int64_t line_number = 0;  // 1 for the member list's first line
  std::string line;              // as read
  LineOutcome outcome = LineOutcome::kKeptUnchecked;
  std::string verdict_code;      // "200", "400", "500" or empty
  std::string verdict_message;   // the verdict without its code, or empty
  std::string mail_host;         // the chosen host's address text, or empty
  std::string last_reply;        // the server's last reply line, or empty
  LineReason reason = LineReason::kNotChecked;  // why it ended so; the outcome follows from it
  std::string accept_all;        // its domain's accept-all check: "yes", "no", "unknown" or empty
};

struct RunProgress {
  std::int64_t bytes_read = 0;   // of the member list, line ends included
  std::int64_t total_bytes = 0;  // the member list's size when the run began; 0 when unknown
  std::int64_t lines_read = 0;
};

// How a stopped run left its result list.
struct RunStop {
  std::int64_t stopped_at_line = 0;  // the last line read before the stop; 0 when none was
  std::int64_t lines_copied = 0;     // lines put back into the result list unchecked
  // False when the result list could not be written in full: the run has
  // said so in its log and in an "Error" box, and the list must not be used.
  bool result_list_whole = true;
};

class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // Once the run's own checks have passed, before it writes anything: an
  // observer that writes a file of its own opens it now, so that a refused
  // run leaves it untouched. False refuses the run without a word of the
  // run's; the observer tells why.
  virtual bool RunStarting() { return true; }
  virtual void LineDecided(const LineDecision& decision) = 0;
  // True for an observer that keeps a row for every line, such as a report:
  // a stop then also tells it of each line it copies back unread, as a
  // decision with the reason kStopped. That costs a moment per line, so the
  // copy of a long rest goes without it when nobody keeps rows.
  virtual bool KeepsEveryLine() const { return false; }
  // After each line read and once per polling round.
  virtual void ProgressMade(const RunProgress& progress) = 0;
  // Once, when a stop (the window closed) has put every line not decided
  // back into the result list.
  virtual void RunStopped(const RunStop& /*stop*/) {}
};

// What a face may add to a run beyond the dialog's controls.
struct RunOptions {
  std::string helo_name;              // empty: this computer's own name, looked up once per run
  bool accept_all_check = false;      // probe an address that cannot exist at each domain with a good one
  std::optional<ProxyAddress> proxy;  // in place of the dialog's proxy setting, for this run only
  RunObserver* observer = nullptr;
};

}  // namespace vantrel
