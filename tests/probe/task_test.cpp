#include "probe/task.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "probe/shared_state.h"
#include "probe/slot_protocol.h"
#include "probe/smtp_probe.h"
#include "tests/support/fake_main_dialog.h"
#include "tests/support/loopback.h"

namespace vantrel {
namespace {

// One task on its own slot, with the run's part played by the test.
class TaskTest : public ::testing::Test {
 protected:
  static constexpr int kSlot = 3;

  void SetUp() override {
    saved_ = Shared().waits;
    Shared().waits.idle_poll_ms = 2;
    Shared().waits.idle_limit_polls = 1000000;
    Shared().waits.smtp_wait_ms = 3000;
    Shared().waits.quit_pause_ms = 1;
    Shared().stop_flag = 0;
    TakeLogBuffer();
    RegisterMainDialog(&dialog_);
    SetTaskSettings(TaskSettings{"<checker@x.test>", &platform::RealNetwork(), "", std::nullopt});
    Slot().Reset();
  }
  void TearDown() override {
    EXPECT_TRUE(dialog_.WaitFor([] { return !TaskAlive(kSlot) && Shared().running_tasks.load() == 0; }));
    UnregisterMainDialog(&dialog_);
    Shared().waits = saved_;
    Shared().stop_flag = 0;
  }
  static TaskSlot& Slot() { return Shared().slots[kSlot]; }
  std::string WaitForVerdict() {
    std::string value;
    dialog_.WaitFor([&] {
      value = TrimSlotText(Slot().Read());
      return !value.empty() && value[0] == ':';
    });
    return value;
  }

  testing::FakeMainDialog dialog_;
  Waits saved_;
};

TEST_F(TaskTest, ProbesItsJobThenEndsOnTheQuitSignal) {
  std::string host = testing::LoopbackAddress(5);
  testing::FakeSmtpServer server(host, {"220 hi\r\n", "250 hi\r\n", "250 ok\r\n", "250 ok\r\n"});
  ASSERT_TRUE(server.listening()) << "run inside tests/run-in-netns.sh";
  Slot().Store("a@x.test\x01" + host);
  ASSERT_NE(StartTask(kSlot), 0u);
  EXPECT_EQ(WaitForVerdict(), ": 200 OK");
  std::string log;
  EXPECT_TRUE(dialog_.WaitFor([&] {
    log += TakeLogBuffer();
    return log.find("\r\n3 ?Verified as good: a@x.test") != std::string::npos;
  }));
  EXPECT_EQ(dialog_.TaskCell(kSlot, kTaskColumn), "4");
  // With its verdict waiting, the task goes back to waiting.
  EXPECT_TRUE(dialog_.WaitFor([&] { return dialog_.TaskCell(kSlot, kActivityColumn).rfind("Waiting ", 0) == 0; }));

  Slot().Store("no separator here");
  EXPECT_EQ(WaitForVerdict(), ": NO DNS");

  Slot().Store(kQuitSignal);
  EXPECT_TRUE(dialog_.WaitFor([] { return !TaskAlive(kSlot); }));
  EXPECT_EQ(dialog_.TaskCell(kSlot, kTaskColumn), "");
  EXPECT_EQ(dialog_.TaskCell(kSlot, kActivityColumn), "");
}

TEST_F(TaskTest, EndsAloneAfterItsIdleLimit) {
  Shared().waits.idle_limit_polls = 3;
  ASSERT_NE(StartTask(kSlot), 0u);
  EXPECT_TRUE(dialog_.WaitFor([] { return !TaskAlive(kSlot); }));
  EXPECT_EQ(dialog_.TaskCell(kSlot, kTaskColumn), "");
  EXPECT_EQ(TrimSlotText(Slot().Read()), "") << "the slot is left as it was";
}

TEST_F(TaskTest, StopFlagLeavesTheRowAsItWas) {
  ASSERT_NE(StartTask(kSlot), 0u);
  EXPECT_TRUE(dialog_.WaitFor([&] { return dialog_.TaskCell(kSlot, kActivityColumn).rfind("Waiting ", 0) == 0; }));
  Shared().stop_flag = -1;
  EXPECT_TRUE(dialog_.WaitFor([] { return !TaskAlive(kSlot); }));
  EXPECT_EQ(dialog_.TaskCell(kSlot, kTaskColumn), "4");
  EXPECT_EQ(dialog_.TaskCell(kSlot, kActivityColumn).rfind("Waiting ", 0), 0u);
}

}  // namespace
}  // namespace vantrel
