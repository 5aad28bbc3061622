#include "run/run_controller.h"

#include "run/verification_run.h"

namespace vantrel {

void SaveStoppedRun() { run::VerificationRun::SaveActiveRunOnStop(); }

RunEnd RunVerification(MainDialog& dialog, platform::FileSystem& files, platform::Network& network,
                       const RunOptions& options) {
  return run::VerificationRun(dialog, files, network, options).Execute();
}

}  // namespace vantrel
