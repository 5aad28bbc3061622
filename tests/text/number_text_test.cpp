#include "text/number_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace vantrel::text {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

struct IntegerCase {
  std::string text;
  std::int32_t value;
};

TEST(ReadLeadingInteger, ReadsTheLongestLeadingNumber) {
  const std::vector<IntegerCase> cases = {
      // plain and signed decimals
      {"0", 0}, {"7", 7}, {"+7", 7}, {"-7", -7}, {"0042", 42}, {"12abc", 12}, {"3:4", 3},
      // what comes before the number
      {"  5", 5}, {"\t5", 5}, {"\n5", 5}, {" \t\n 5", 5}, {"\r5", 0}, {"x5", 0}, {"- 5", 0},
      // no number at all
      {"", 0}, {" ", 0}, {"-", 0}, {"+", 0}, {".", 0}, {"abc", 0}, {"=1", 0},
      // decimal point and rounding, halves to the even neighbour
      {"2.4", 2}, {"2.6", 3}, {"0.5", 0}, {"1.5", 2}, {"2.5", 2}, {"3.5", 4}, {"-2.5", -2}, {"-3.5", -4},
      {".5", 0}, {".51", 1}, {"5.", 5}, {"1.2.3", 1},
      // exponents, E or D in either case
      {"1E2", 100}, {"1e2", 100}, {"1D2", 100}, {"1d2", 100}, {"25E-1", 2}, {"1.5E+1", 15},
      {"1E", 1}, {"1E+", 1}, {"2Ex", 2}, {"1F2", 1},
      // radix numbers
      {"&H1F", 31}, {"&h1f", 31}, {"&B101", 5}, {"&b2", 0}, {"&O17", 15}, {"&Q17", 15}, {"&17", 15},
      {"&18", 1}, {"&", 0}, {"&H", 0}, {"&HG", 0}, {" &H10", 16}, {"&HFFFFFFFF", -1}, {"&H7FFFFFFF", kMax},
      {"&H80000000", kMin},
      // out of range: the nearest end of the 32-bit range, never a wrapped value
      {"1E999", kMax}, {"-1E999", kMin}, {"1D400", kMax}, {"1E-999", 0},
      {"2147483647", kMax}, {"2147483648", kMax}, {"-2147483648", kMin}, {"-2147483649", kMin},
      {"99999999999999999999999", kMax}, {std::string(400, '9'), kMax},
      {"&HFFFFFFFFFF", kMax}, {"&H100000000", kMax}, {"&B" + std::string(40, '1'), kMax},
      {"&O" + std::string(30, '7'), kMax}, {"&H" + std::string(200, '0') + "1", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadLeadingInteger(c.text), c.value) << '"' << c.text << '"';
  }
}

TEST(ReadLeadingNumber, KeepsTheFractionForCallersThatRound) {
  EXPECT_DOUBLE_EQ(ReadLeadingNumber("2.5"), 2.5);
  EXPECT_DOUBLE_EQ(ReadLeadingNumber("-1.25D1"), -12.5);
  EXPECT_DOUBLE_EQ(ReadLeadingNumber("&HFFFF"), 65535.0);
}

}  // namespace
}  // namespace vantrel::text
