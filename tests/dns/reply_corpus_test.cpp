// Replays the fuzzer's seed corpus, so every seed, and every input the fuzzer
// once found and someone kept, stays handled on each ordinary test run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/fuzz/dns_reply_check.h"

namespace vantrel::dns {
namespace {

TEST(ReplyCorpus, EverySeedIsHandledSoundly) {
  std::size_t seeds = 0;
  for (const auto& entry : std::filesystem::directory_iterator(VANTREL_DNS_REPLY_CORPUS)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream file(entry.path(), std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(CheckReply(bytes.data(), bytes.size()), "") << entry.path().filename();
    ++seeds;
  }
  EXPECT_GE(seeds, 10u) << "the seed corpus went missing";
}

}  // namespace
}  // namespace vantrel::dns
