#include "run/run_log.h"

#include <gtest/gtest.h>

#include <vector>

#include "probe/shared_state.h"
#include "run/mx_choice.h"
#include "tests/support/memory_file_system.h"

namespace vantrel::run {
namespace {

TEST(RunLog, HeaderIsEightyEqualsAndAZeroPaddedStamp) {
  platform::LocalTime t;
  t.year = 2026;
  t.month = 3;
  t.day = 7;
  t.hour = 9;
  t.minute = 5;
  t.second = 1;
  EXPECT_EQ(RunHeaderText(t), std::string(80, '=') + "\r\n03-07-2026 09:05:01\r\n");
}

TEST(RunLog, RoundFlushStripsLineEndsAtBothEndsOnly) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\r\n0 a", "0 a\r\n"},
      {"\r\n0 a\r\n1 b", "0 a\r\n1 b\r\n"},
      {"\r\n\r\n", "\r\n"},
      {"\n\r0 a\n\r\n", "0 a\r\n"},
      {"\r\n0 a\r\n\r\n0 b", "0 a\r\n\r\n0 b\r\n"},
  };
  for (const auto& [taken, written] : cases) EXPECT_EQ(RoundFlushText(taken), written);
}

TEST(RunLog, FlushesMoveTheBufferIntoTheFile) {
  TakeLogBuffer();
  testing::MemoryFileSystem files;
  RunLog log(files);
  log.FlushDuringRun();
  log.FinalFlush();
  EXPECT_EQ(files.files.count(kRunLogName), 0u) << "an empty buffer writes nothing";

  AppendLogLine("0 first");
  AppendLogLine("1 second");
  log.FlushDuringRun();
  AppendLogLine("2 rest");
  log.FinalFlush();
  EXPECT_TRUE(LogBufferEmpty());
  EXPECT_EQ(files.files[kRunLogName], "0 first\r\n1 second\r\n\r\n2 rest\r\n\r\n");
}

TEST(RunLog, TextTakenForAFileHeldElsewhereIsDropped) {
  TakeLogBuffer();
  testing::MemoryFileSystem files;
  files.locked.insert(kRunLogName);
  RunLog log(files);
  AppendLogLine("0 lost");
  log.FlushDuringRun();
  EXPECT_TRUE(LogBufferEmpty());
  files.locked.clear();
  AppendLogLine("0 kept");
  log.FlushDuringRun();
  EXPECT_EQ(files.files[kRunLogName], "0 kept\r\n");
}

TEST(MxChoice, LowestPreferenceThenNameByteOrder) {
  struct Case {
    std::vector<std::pair<std::uint16_t, std::string>> records;
    std::string chosen;
  };
  const std::vector<Case> cases = {
      {{{20, "b"}, {10, "a"}}, "a"},
      {{{300, "a"}, {20, "b"}}, "b"},
      {{{10, "mx2"}, {10, "mx1"}, {10, "mx3"}}, "mx1"},
      {{{10, "mx"}, {10, "mx.a"}}, "mx"},
      {{{5, "\xe9.example"}, {5, "z.example"}}, "z.example"},
      {{{65535, "only"}}, "only"},
  };
  for (const Case& c : cases) {
    dns::MxRecordList list;
    for (const auto& [preference, name] : c.records) {
      dns::MxRecord record;
      record.preference = preference;
      record.exchange = name;
      list.push_back(record);
    }
    const dns::MxRecord* chosen = ChoosePreferredMx(list);
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(chosen->exchange, c.chosen);
  }
  EXPECT_EQ(ChoosePreferredMx({}), nullptr);
}

}  // namespace
}  // namespace vantrel::run
