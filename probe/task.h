// The probe task: one thread per task slot, taking jobs from its slot and
// leaving verdicts there.
#pragma once

#include <cstdint>
#include <string>

#include "platform/thread.h"
#include "probe/shared_state.h"

namespace vantrel {

// Runs on its own thread until the quit signal, the idle limit or the stop flag.
void TaskProcedure(int slot);

// What tasks started from now on take as theirs.
void SetTaskSettings(const TaskSettings& settings);

// Starts TaskProcedure(slot) on a thread of its own and counts the slot's
// task as alive from this moment; 0 when the thread could not be started.
platform::ThreadHandle StartTask(int slot);

// False once slot's task has stopped reading its slot for good (quit signal,
// idle limit or stop flag): a job stored there now would wait for nobody.
bool TaskAlive(int slot);

// What a task stores and shows for a probe result.
struct TaskVerdict {
  std::string slot_text;  // ": 200 OK", ": 400 " + message or ": 500 " + message
  std::string message;    // shown as the activity and logged after " ?"
};
// reply: the refusal's text, for the verdicts that quote it.
TaskVerdict VerdictForProbeResult(std::int32_t result, const std::string& mail_host, const std::string& from_text,
                                  const std::string& address, const std::string& reply = std::string());

}  // namespace vantrel
