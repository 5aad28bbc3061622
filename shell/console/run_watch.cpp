#include "shell/console/run_watch.h"

namespace vantrel::console {

void ProgressTally::LineDecided(const LineDecision& decision) {
  decided_.Add(decision.outcome);
  counts_.good = decided_.good;
  counts_.bad = decided_.bad;
  counts_.try_again = decided_.try_again;
  counts_.not_checked = decided_.not_checked;
  view_.SetProgress(counts_);
}

void ProgressTally::ProgressMade(const RunProgress& progress) {
  counts_.bytes_read = progress.bytes_read;
  counts_.total_bytes = progress.total_bytes;
  counts_.lines_read = progress.lines_read;
  view_.SetProgress(counts_);
}

void StopNotice::RunStopped(const RunStop& stop) {
  write_failed_ = !stop.result_list_whole;
  // The run's own "Error" box has said what became of the result list.
  if (write_failed_) return;
  text_ = "WARNING: The run was stopped at line " + std::to_string(stop.stopped_at_line) + "; " +
          std::to_string(stop.lines_copied) + " lines were copied to the result list unchecked.";
}

}  // namespace vantrel::console
