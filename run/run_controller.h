// Run verification: one pass over the member list, from the file check to
// the "Results" box. Runs on the dialog's thread and returns when it is over.
#pragma once

#include "platform/file.h"
#include "platform/network.h"
#include "dialog/main_dialog.h"
#include "run/run_observer.h"

namespace vantrel {

enum class RunEnd {
  kRefused,    // the member list could not be found or opened
  kStopped,    // the stop flag ended the run early
  kCompleted,  // the "Results" box was shown
};

// For the exit sequence, once it has set the stop flag: the run under way,
// if any, puts every line it has not decided back into its result list and
// writes out its log, before the tasks are given their second.
void SaveStoppedRun();

RunEnd RunVerification(MainDialog& dialog, platform::FileSystem& files = platform::RealFileSystem(),
                       platform::Network& network = platform::RealNetwork(), const RunOptions& options = {});

}  // namespace vantrel
