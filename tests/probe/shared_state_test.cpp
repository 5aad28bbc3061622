#include "probe/shared_state.h"
#include "probe/slot_protocol.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "tests/probe/probe_fixture.h"
#include "tests/support/fake_main_dialog.h"

namespace vantrel {
namespace {

TEST(TaskSlot, StoresWholeFixedTexts) {
  TaskSlot slot;
  EXPECT_EQ(slot.Read(), std::string(256, '\0'));
  EXPECT_EQ(TrimSlotText(slot.Read()), "");

  slot.Store("0123456789");
  EXPECT_EQ(slot.Read().size(), 256u);
  EXPECT_EQ(slot.Read().substr(10), std::string(246, ' '));
  EXPECT_EQ(TrimSlotText(slot.Read()), "0123456789");

  std::string long_text(300, 'a');
  long_text[255] = 'z';
  slot.Store(long_text);
  EXPECT_EQ(slot.Read(), long_text.substr(0, 256));

  slot.Store(kQuitSignal);
  EXPECT_EQ(TrimSlotText(slot.Read()), "\x01");
}

TEST(TaskSlot, ReadersNeverSeeAHalfWrittenSlot) {
  TaskSlot slot;
  const std::string a(256, 'a');
  const std::string b(256, 'b');
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i) slot.Store(i % 2 ? a : b);
    done = true;
  });
  while (!done) {
    std::string seen = slot.Read();
    ASSERT_TRUE(seen == a || seen == b || seen == std::string(256, '\0'));
  }
  writer.join();
}

TEST(LogBuffer, AppendsCrLfBeforeEachLineAndTakesWhole) {
  TakeLogBuffer();
  AppendLogLine("x");
  EXPECT_EQ(TakeLogBuffer(), "\r\nx");
  EXPECT_TRUE(LogBufferEmpty());

  // Lines from many threads arrive whole, none lost across takes.
  constexpr int kThreads = 8;
  constexpr int kLines = 2000;
  std::vector<std::thread> writers;
  std::string taken;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) AppendLogLine(std::to_string(t) + " line " + std::to_string(i));
    });
  }
  for (int i = 0; i < 100; ++i) taken += TakeLogBuffer();
  for (auto& w : writers) w.join();
  taken += TakeLogBuffer();
  int count = 0;
  std::size_t pos = 0;
  while ((pos = taken.find("\r\n", pos)) != std::string::npos) {
    std::size_t end = taken.find("\r\n", pos + 2);
    std::string line = taken.substr(pos + 2, end == std::string::npos ? std::string::npos : end - pos - 2);
    ASSERT_NE(line.find(" line "), std::string::npos) << line;
    ++count;
    pos += 2;
  }
  EXPECT_EQ(count, kThreads * kLines);
}

TEST(ShowHelpers, DoNothingUntilATaskHasFoundTheDialog) {
  testing::FakeMainDialog dialog;
  testing::LetTasksFind(nullptr);
  ShowStatus("Terminating all active tasks.");
  ShowActivity(0, 1, "x");
  EXPECT_TRUE(dialog.StatusHistory().empty());

  testing::LetTasksFind(&dialog);
  ShowStatus("Idle");
  EXPECT_EQ(dialog.StatusText(), "Status: Idle");
  ShowActivity(3, 1, std::string(200, 'q'));
  EXPECT_EQ(dialog.TaskCell(3, 1), std::string(127, 'q'));
  testing::LetTasksFind(nullptr);
}

}  // namespace
}  // namespace vantrel
