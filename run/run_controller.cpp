#include "run/run_controller.h"

#include "run/verification_run.h"

namespace vantrel {

RunEnd RunVerification(MainDialog& dialog, platform::FileSystem& files) {
  return run::VerificationRun(dialog, files).Execute();
}

}  // namespace vantrel
