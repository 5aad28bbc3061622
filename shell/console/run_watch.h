// The console's observers of a run: the progress counts for the view, and
// one observer that hands each call to several.
#pragma once

#include <chrono>
#include <vector>

#include "run/run_observer.h"
#include "shell/console/console_view.h"

namespace vantrel::console {

// Counts good, bad and try-again decisions and passes them, with how much
// of the list has been read, to the view's progress line.
class ProgressTally : public RunObserver {
 public:
  explicit ProgressTally(ConsoleView& view) : view_(view) {}
  void LineDecided(const LineDecision& decision) override;
  void ProgressMade(const RunProgress& progress) override;
  const ProgressCounts& counts() const { return counts_; }

 private:
  ConsoleView& view_;
  ProgressCounts counts_;
};

class ObserverList : public RunObserver {
 public:
  void Add(RunObserver* observer) { observers_.push_back(observer); }
  bool RunStarting() override {
    for (RunObserver* observer : observers_) {
      if (!observer->RunStarting()) return false;
    }
    return true;
  }
  void LineDecided(const LineDecision& decision) override {
    for (RunObserver* observer : observers_) observer->LineDecided(decision);
  }
  void ProgressMade(const RunProgress& progress) override {
    for (RunObserver* observer : observers_) observer->ProgressMade(progress);
  }

 private:
  std::vector<RunObserver*> observers_;
};

}  // namespace vantrel::console
