#include "shell/console/run_watch.h"

namespace vantrel::console {

void ProgressTally::LineDecided(const LineDecision& decision) {
  switch (decision.outcome) {
    case LineOutcome::kGood:
      ++counts_.good;
      break;
    case LineOutcome::kBad:
      ++counts_.bad;
      break;
    case LineOutcome::kTryAgain:
      ++counts_.try_again;
      break;
    default:
      return;  // lines copied without a probe change no count
  }
  view_.SetProgress(counts_);
}

void ProgressTally::ProgressMade(const RunProgress& progress) {
  counts_.bytes_read = progress.bytes_read;
  counts_.total_bytes = progress.total_bytes;
  counts_.lines_read = progress.lines_read;
  view_.SetProgress(counts_);
}

void StopNotice::RunStopped(const RunStop& stop) {
  text_ = "WARNING: The run was stopped at line " + std::to_string(stop.stopped_at_line) + "; " +
          std::to_string(stop.lines_copied) + " lines were copied to the result list unchecked.";
}

}  // namespace vantrel::console
