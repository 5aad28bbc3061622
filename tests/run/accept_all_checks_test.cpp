#include "run/accept_all_checks.h"

#include <gtest/gtest.h>

#include <set>

namespace vantrel::run {
namespace {

TEST(RandomLocalPart, NeverRepeatsAndNeverMeetsTheList) {
  const std::set<std::string> list_local_parts = {"anna", "bob.smith", "info", "aaaaaaaaaaaaaaaaaaaa"};
  std::set<std::string> drawn;
  for (int i = 0; i < 10000; ++i) {
    const std::string local = RandomLocalPart();
    ASSERT_EQ(local.size(), 20u);
    ASSERT_EQ(local.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"),
              std::string::npos)
        << local;
    ASSERT_TRUE(drawn.insert(local).second) << "drawn twice: " << local;
    ASSERT_EQ(list_local_parts.count(local), 0u);
  }
  // Every character turns up: the draw is not stuck on part of the set.
  std::set<char> seen;
  for (const std::string& local : drawn) seen.insert(local.begin(), local.end());
  EXPECT_EQ(seen.size(), 62u);
}

}  // namespace
}  // namespace vantrel::run
