// Replays every fuzzer's seed corpus with the same checks the fuzzers make,
// so each seed, and every input a fuzzer once found and someone kept, stays
// handled on each ordinary test run. (The DNS reply corpus is replayed by
// the DNS suite.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/address_matcher_check.h"
#include "tests/fuzz/command_line_check.h"
#include "tests/fuzz/member_list_check.h"
#include "tests/fuzz/settings_check.h"
#include "tests/fuzz/smtp_dialogue_check.h"

namespace vantrel::fuzz {
namespace {

TEST(FuzzCorpus, EverySeedOfEveryTargetKeepsItsProperties) {
  const struct {
    const char* target;
    std::string (*check)(const std::uint8_t*, std::size_t);
  } targets[] = {
      {"smtp_dialogue", CheckDialogue},
      {"member_list", CheckMemberList},
      {"settings", CheckSettings},
      {"address_matcher", CheckAddressMatcher},
      {"command_line", CheckCommandLine},
  };
  for (const auto& t : targets) {
    std::size_t seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(VANTREL_FUZZ_CORPUS) + "/" + t.target)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream file(entry.path(), std::ios::binary);
      std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
      EXPECT_EQ(t.check(bytes.data(), bytes.size()), "") << t.target << "/" << entry.path().filename().string();
      ++seeds;
    }
    EXPECT_GE(seeds, 5u) << "the " << t.target << " seed corpus went missing";
  }
}

}  // namespace
}  // namespace vantrel::fuzz
