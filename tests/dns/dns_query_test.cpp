#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "dns/dns_codec.h"
#include "platform/clock.h"

namespace vantrel::dns {
namespace {

// Everything after the 2-byte ID, which changes with the clock.
Bytes AfterId(const Bytes& query) { return Bytes(query.begin() + 2, query.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const Bytes kMxHeaderRest = {
    0x01, 0x00,  // flags: RD only
    0x00, 0x01,  // QDCOUNT 1
    0x00, 0x00,  // ANCOUNT
    0x00, 0x00,  // NSCOUNT
    0x00, 0x00,  // ARCOUNT
};
const Bytes kMxIn = {0x00, 0x0F, 0x00, 0x01};  // QTYPE 15, QCLASS 1

TEST(BuildQuery, WritesTheNameInLabelForm) {
  struct Case {
    const char* name;
    std::string domain;
    Bytes question_name;  // label form with its zero byte
  };
  const std::vector<Case> cases = {
      {"two labels", "a.bc", {0x01, 'a', 0x02, 'b', 'c', 0x00}},
      {"leading dot is not doubled", ".a.bc", {0x01, 'a', 0x02, 'b', 'c', 0x00}},
      {"two dots in a row give a zero length", "a..bc", {0x01, 'a', 0x00, 0x02, 'b', 'c', 0x00}},
      {"final dot gives a zero length", "a.bc.", {0x01, 'a', 0x02, 'b', 'c', 0x00, 0x00}},
      {"empty domain", "", {0x00, 0x00}},
      {"8-bit characters pass unchanged", "\xE9.x", {0x01, 0xE9, 0x01, 'x', 0x00}},
  };
  for (const Case& c : cases) {
    Bytes query = BuildQuery(c.domain, kTypeMx, kClassIn);
    EXPECT_EQ(AfterId(query), Concat({kMxHeaderRest, c.question_name, kMxIn})) << c.name;
  }
}

TEST(BuildQuery, LabelLengthIsCutToOneByte) {
  // 33 characters: the length byte reads as "!" when a reply echoes it.
  Bytes query = BuildQuery(std::string(33, 'x') + ".com", 15, 1);
  EXPECT_EQ(query[12], 33);
  // 300 characters: the length byte is 300 mod 256, sent unchecked.
  query = BuildQuery(std::string(300, 'x'), 15, 1);
  EXPECT_EQ(query[12], 300 % 256);
  EXPECT_EQ(query.size(), 12u + 301 + 1 + 4);
}

TEST(BuildQuery, CarriesTheGivenTypeAndClass) {
  Bytes query = BuildQuery("a.bc", 0x1234, 0xABCD);
  EXPECT_EQ(Bytes(query.end() - 4, query.end()), (Bytes{0x12, 0x34, 0xAB, 0xCD}));
}

std::uint32_t MillisecondsSinceMidnight() {
  platform::LocalTime now = platform::NowLocal();
  return static_cast<std::uint32_t>(((now.hour * 60 + now.minute) * 60 + now.second) * 1000 + now.millisecond);
}

// Each query draws its ID from a generator seeded with the time of day it
// was built at: a generator seeded once, or a fixed ID, fails here.
TEST(QueryId, IsDrawnAnewFromTheTimeOfDayOfEachQuery) {
  for (int query = 0; query < 3; ++query) {
    std::uint32_t before = MillisecondsSinceMidnight();
    Bytes built = BuildQuery("a.bc", kTypeMx, kClassIn);
    std::uint32_t after = MillisecondsSinceMidnight();
    if (after < before) after += 86400000u;  // midnight came in between
    std::set<std::uint16_t> possible;
    for (std::uint32_t ms = before; ms <= after; ++ms) possible.insert(QueryIdFor(ms % 86400000u));
    EXPECT_EQ(possible.count(static_cast<std::uint16_t>(built[0] << 8 | built[1])), 1u)
        << "built between " << before << " and " << after << " ms after midnight";
  }
  // A thousand times of day should not collapse onto a handful of IDs.
  std::set<std::uint16_t> seen;
  for (std::uint32_t ms = 0; ms < 86400000u; ms += 86399) seen.insert(QueryIdFor(ms));
  EXPECT_GT(seen.size(), 900u);
}

}  // namespace
}  // namespace vantrel::dns
