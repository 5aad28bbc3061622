#include "probe/address_pattern.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>

namespace vantrel {
namespace {

const std::optional<std::string> kNone;

TEST(FindAddress, PicksTheAddressOutOfWhatSurroundsIt) {
  const struct {
    std::string text;
    std::optional<std::string> address;
  } cases[] = {
      {"jane@example.com", "jane@example.com"},
      {"JANE.Doe@EXAMPLE.Com", "JANE.Doe@EXAMPLE.Com"},  // capitals match and are kept
      {"Jane Doe <jane@example.com>", "jane@example.com"},
      {"\"Doe, Jane\" <jane@example.com>", "jane@example.com"},
      {"[jane@example.com]", "jane@example.com"},
      {"mailto:jane@example.com", "jane@example.com"},
      {"jane@example.com (Jane Doe)", "jane@example.com"},
      {"<jane@example.com>, <joe@example.com>", "jane@example.com"},  // leftmost
      {"o'brien@example.ie", "o'brien@example.ie"},  // an apostrophe joins
      {"Mary D'Angelo-O'Neil <d'angelo-o'neil@x.it>", "d'angelo-o'neil@x.it"},
      {"'bob@example.com'", "bob@example.com"},       // quotes around it
      {"o''brien@example.ie", "brien@example.ie"},    // two apostrophes do not join
      {"o'brien'@example.ie", kNone},                 // nor one before the "@"
      {"name=x|y&jane@example.com", "jane@example.com"},  // field separators stay
      {"first_last@example.com", "first_last@example.com"},
      {"list+tag=x/y@example.com", "x/y@example.com"},
      {"jane@ex_ample.com", "jane@ex"},             // the domain stops at "_"
      {"jane@example.com>trailing", "jane@example.com"},
      {"jane@exa mple.com", "jane@exa"},
      {"a@b@c.org", "a@b"},                        // the domain stops at the second "@"
      {"@x a@@b c@d.org", "c@d.org"},              // "a@@" has no domain, go on
      {"jane doe @example.com", kNone},            // a blank before "@"
      {"jane@ example.com", kNone},
      {"jane@", kNone},
      {"@example.com", kNone},
      {"List owner", kNone},
      {"", kNone},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindAddress(c.text), c.address) << c.text;
  }
}

// The one-pass search must find exactly what a regular-expression search
// for the same classes finds, leftmost and greedy, on every short text made
// of the characters that matter.
TEST(FindAddress, AgreesWithARegularExpressionSearch) {
  const std::regex pattern("([a-z0-9._/+-]+(?:'[a-z0-9._/+-]+)*)(@[a-z0-9.-]+)", std::regex::icase);
  const std::string alphabet = "aZ9@@.-_'' <>\"\xe4=";
  std::mt19937 random(20261207);
  for (int round = 0; round < 20000; ++round) {
    std::string text(random() % 14, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    std::smatch match;
    std::optional<std::string> expected;
    if (std::regex_search(text, match, pattern)) expected = match.str(0);
    ASSERT_EQ(FindAddress(text), expected) << "\"" << text << "\"";
  }
}

// A backtracking search needs quadratic time or deep recursion on these; the
// one-pass search takes milliseconds. Not a timed assertion: the test
// timeout is what a quadratic search would hit.
TEST(FindAddress, TenMegabyteTextsTakeOnePass) {
  const std::size_t kSize = 10 * 1024 * 1024;
  std::string run(kSize, 'a');
  std::string blanks;
  blanks.reserve(kSize + 8);
  while (blanks.size() < kSize) blanks += "a@ ";
  std::string joined;
  joined.reserve(kSize + 8);
  while (joined.size() < kSize) joined += "a'";
  const struct {
    std::string text;
    std::optional<std::string> address;
  } cases[] = {
      {run, kNone},
      {run + "@", kNone},
      {run + "@b", run + "@b"},
      {"a@" + run, "a@" + run},
      {blanks, kNone},
      {blanks + "x@y.z", "x@y.z"},
      {joined + "@b", kNone},
      {joined + "a@b", joined + "a@b"},
  };
  for (const auto& c : cases) {
    std::optional<std::string> found = FindAddress(c.text);
    EXPECT_EQ(found.has_value(), c.address.has_value());
    if (found && c.address) {
      EXPECT_TRUE(*found == *c.address);  // no diff of 10 MB texts on failure
    }
  }
}

}  // namespace
}  // namespace vantrel
