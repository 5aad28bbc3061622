// The console's observers of a run: the progress counts for the view, and
// one observer that hands each call to several.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "run/run_observer.h"
#include "shell/console/console_view.h"

namespace vantrel::console {

// Counts the lines decided good, bad, to try again and not checked, as the
// Results do, and passes them, with how much of the list has been read, to
// the view's progress line.
class ProgressTally : public RunObserver {
 public:
  explicit ProgressTally(ConsoleView& view) : view_(view) {}
  void LineDecided(const LineDecision& decision) override;
  void ProgressMade(const RunProgress& progress) override;
  const ProgressCounts& counts() const { return counts_; }

 private:
  ConsoleView& view_;
  DecidedLines decided_;
  ProgressCounts counts_;
};

// Keeps, for the line printed at the program's end, how a stopped run left
// its result list: the window's close says nothing of it, and the list
// would otherwise look like a finished one.
class StopNotice : public RunObserver {
 public:
  void LineDecided(const LineDecision&) override {}
  void ProgressMade(const RunProgress&) override {}
  void RunStopped(const RunStop& stop) override;
  const std::string& text() const { return text_; }
  // The result list the stop left is not whole: the run has told why, and
  // the program must not end as if only interrupted.
  bool WriteFailed() const { return write_failed_; }

 private:
  std::string text_;
  bool write_failed_ = false;
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
  bool KeepsEveryLine() const override {
    for (RunObserver* observer : observers_) {
      if (observer->KeepsEveryLine()) return true;
    }
    return false;
  }
  void ProgressMade(const RunProgress& progress) override {
    for (RunObserver* observer : observers_) observer->ProgressMade(progress);
  }
  void RunStopped(const RunStop& stop) override {
    for (RunObserver* observer : observers_) observer->RunStopped(stop);
  }

 private:
  std::vector<RunObserver*> observers_;
};

}  // namespace vantrel::console
