// The probe task: one thread per task slot, taking jobs from its slot and
// leaving verdicts there.
#pragma once

namespace vantrel {

// Runs on its own thread until the quit signal, the idle limit or the stop flag.
void TaskProcedure(int slot);

}  // namespace vantrel
