// A fixture that leaves the process-wide shared state as it found it: the
// stop flag, the waits, the main dialog and the log buffer.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "probe/shared_state.h"

namespace vantrel::testing {

// Lets Show status and Show activity reach dialog, as they do once a task
// has found the window; null cuts them off again.
inline void LetTasksFind(MainDialog* dialog) {
  RegisterMainDialog(dialog);
  Shared().dialog_found = dialog != nullptr;
}

class SharedStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SharedState& shared = Shared();
    saved_waits_ = shared.waits;
    saved_stop_ = shared.stop_flag.load();
    saved_dialog_ = FindMainDialog(kMainCaption);
    saved_found_ = shared.dialog_found.load();
    saved_log_ = TakeLogBuffer();
    shared.stop_flag = 0;
    LetTasksFind(nullptr);
    ForgetRefusalsOfUs();
  }

  void TearDown() override {
    SharedState& shared = Shared();
    shared.waits = saved_waits_;
    shared.stop_flag = saved_stop_;
    RegisterMainDialog(saved_dialog_);
    shared.dialog_found = saved_found_;
    ForgetRefusalsOfUs();
    platform::MutexLock lock(shared.log_mutex);
    shared.log_buffer = saved_log_;
  }

 private:
  Waits saved_waits_;
  std::int32_t saved_stop_ = 0;
  MainDialog* saved_dialog_ = nullptr;
  bool saved_found_ = false;
  std::string saved_log_;
};

}  // namespace vantrel::testing
