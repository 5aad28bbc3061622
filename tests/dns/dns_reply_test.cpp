#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dns/dns_codec.h"
#include "tests/support/dns_packet_builder.h"

namespace vantrel::dns {
namespace {

using testing::DnsPacketBuilder;

// Header (12 bytes) and the question for name: with "a.bc" the question name
// sits at offset 12 and the answers begin at 22.
DnsPacketBuilder Head(std::uint16_t ancount, const std::string& name = "a.bc", std::uint16_t qtype = 15,
                      std::uint16_t flags = 0x8180) {
  DnsPacketBuilder reply;
  reply.Header(0x1234, flags, 1, ancount).Question(name, qtype, 1);
  return reply;
}

// Labels of n characters, and names of 255 and 256 characters made of them.
std::string Label(std::size_t n) { return std::string(n, 'l'); }
const std::string k255 = Label(63) + "." + Label(63) + "." + Label(63) + "." + Label(63);
const std::string k256 = Label(63) + "." + Label(63) + "." + Label(63) + "." + Label(62) + ".z";
const std::string kHostedMail = "northwind-traders-international-org.mail.protection.outlook.com";

struct Expected {
  std::uint16_t preference;
  std::string exchange;
  std::string owner;
};

void ExpectList(const MxRecordList& list, const std::vector<Expected>& expected, const std::string& name) {
  ASSERT_EQ(list.size(), expected.size()) << name;
  for (std::size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(list[i].preference, expected[i].preference) << name << " #" << i;
    EXPECT_EQ(list[i].exchange, expected[i].exchange) << name << " #" << i;
    EXPECT_EQ(list[i].owner, expected[i].owner) << name << " #" << i;
    EXPECT_EQ(list[i].address, "") << name << " #" << i << ": reading resolves no host";
  }
}

TEST(ReadMxReply, ReadsTheAnswerSection) {
  struct Case {
    const char* name;
    DnsPacketBuilder reply;
    std::vector<Expected> records;
  };
  const std::string far_filler(250, 'x');
  const std::vector<Case> cases = {
      {"no answers", Head(0), {}},
      {"exchange compressed onto the question name",
       Head(1)
           .Pointer(12)                  // owner: the question name
           .RecordFields(15, 1, 3600, 9) // MX, IN, TTL, RDLENGTH
           .U16(10)                      // preference
           .Labels("mail")
           .Pointer(12),                 // ... a.bc
       {{10, "mail.a.bc", "a.bc"}}},
      {"exchange written out in full", Head(1).MxRecord(10, "mail.a.bc"),
       {{10, "mail.a.bc", "a.bc"}}},
      {"owner written out in place",
       Head(1).Name("a.bc").RecordFields(15, 1, 3600, 13).U16(10).Name("mail.a.bc"),
       {{10, "mail.a.bc", "a.bc"}}},
      {"class and TTL are not looked at",
       Head(1).Pointer(12).RecordFields(15, 3, 0xFFFFFFFF, 13).U16(7).Name("mail.a.bc"),
       {{7, "mail.a.bc", "a.bc"}}},
      {"pointer at offset 256 or more",
       Head(2)
           .Pointer(12).RecordFields(16, 1, 0, 300)  // a TXT record at 22, RDATA at 34
           .Raw(far_filler)                          // 34..283
           .Name("far.a.bc")                         // at 284 = 0x11C
           .Raw(std::string(40, 'y'))                // RDATA ends at 334
           .Pointer(12).RecordFields(15, 1, 0, 4)
           .U16(5)
           .Pointer(284),                            // C1 1C
       {{5, "far.a.bc", "a.bc"}}},
      {"pointer to a name that itself ends in a pointer",
       Head(2)
           .Pointer(12).RecordFields(16, 1, 0, 8)  // TXT at 22, RDATA at 34:
           .Labels("relay").Pointer(12)            // "relay" then a.bc
           .Pointer(12).RecordFields(15, 1, 0, 7)
           .U16(1)
           .Labels("mx").Pointer(34),
       {{1, "mx.relay.a.bc", "a.bc"}}},
      {"two MX records stay in answer order", Head(2).MxRecord(20, "mx1.a.bc").MxRecord(10, "mx2.a.bc"),
       {{20, "mx1.a.bc", "a.bc"}, {10, "mx2.a.bc", "a.bc"}}},
      {"a CNAME ahead of the MX records takes no entry",
       Head(3)
           .Pointer(12).RecordFields(5, 1, 0, 2).Pointer(12)  // CNAME
           .MxRecord(10, "mx1.a.bc")
           .MxRecord(20, "mx2.a.bc"),
       {{10, "mx1.a.bc", "a.bc"}, {20, "mx2.a.bc", "a.bc"}}},
      {"a question that is not for MX takes no MX record", Head(1, "a.bc", 1).MxRecord(10, "mx1.a.bc"), {}},
      {"a truncated reply is read like any other", Head(1, "a.bc", 15, 0x8380).MxRecord(10, "mx1.a.bc"),
       {{10, "mx1.a.bc", "a.bc"}}},
      {"the authority section is not read",
       Head(1).MxRecord(10, "mx1.a.bc").PatchU16(8, 1).Raw({0xC0, 0xFF}),
       {{10, "mx1.a.bc", "a.bc"}}},
      {"a name ending in a digit keeps it",
       Head(1, "a.b9").Pointer(12).RecordFields(15, 1, 0, 7).U16(1).Labels("mx").Pointer(12),
       {{1, "mx.a.b9", "a.b9"}}},
      {"a name ending in '-' loses it",
       Head(1, "a.b-").Pointer(12).RecordFields(15, 1, 0, 7).U16(1).Labels("mx").Pointer(12),
       {{1, "mx.a.b", "a.b"}}},
      {"a first label of 35 characters", Head(1).MxRecord(10, kHostedMail), {{10, kHostedMail, "a.bc"}}},
      {"labels of 33 and 63 characters",
       Head(1).MxRecord(10, Label(33) + "." + Label(63) + ".a.bc"),
       {{10, Label(33) + "." + Label(63) + ".a.bc", "a.bc"}}},
      {"a name of exactly 255 characters", Head(1).MxRecord(1, k255), {{1, k255, "a.bc"}}},
      {"the empty exchange stays", Head(1).MxRecord(0, ""), {{0, "", "a.bc"}}},
  };
  for (const Case& c : cases) {
    MxRecordList list = {{99, "stale", "stale", "1.2.3.4"}};
    EXPECT_EQ(ReadMxReply(c.reply.bytes(), &list), kLookupOk) << c.name;
    ExpectList(list, c.records, c.name);
  }
}

TEST(ReadMxReply, RefusesRepliesThatCannotBeReadSafely) {
  struct Case {
    const char* name;
    DnsPacketBuilder reply;
  };
  const std::vector<Case> cases = {
      {"shorter than a header", DnsPacketBuilder().Raw({0x12, 0x34, 0x81, 0x80, 0, 1, 0, 0, 0, 0, 0})},
      {"question name without its zero byte", DnsPacketBuilder().Header(1, 0x8180, 1, 0).Raw({1, 'a'})},
      {"question without its class", DnsPacketBuilder().Header(1, 0x8180, 1, 0).Name("a.bc").U16(15)},
      {"more answers counted than present", Head(2).MxRecord(10, "mx1.a.bc")},
      {"record header cut short", Head(1).Pointer(12).U16(15).U16(1)},
      {"RDLENGTH past the end", Head(1).Pointer(12).RecordFields(15, 1, 0, 50).U16(1).Name("mx1")},
      {"MX RDATA too short for a preference", Head(1).Pointer(12).RecordFields(15, 1, 0, 1).U8(0)},
      {"owner pointer beyond the reply", Head(1).Pointer(500).RecordFields(15, 1, 0, 3).U16(1).U8(0)},
      {"exchange pointer beyond the reply", Head(1).Pointer(12).RecordFields(15, 1, 0, 4).U16(1).Pointer(0x3FFF)},
      {"pointer to itself",
       Head(1).Pointer(12).RecordFields(15, 1, 0, 4).U16(1).Pointer(36)},  // the pointer sits at 36
      {"two pointers leading to each other",
       Head(2)
           .Pointer(12).RecordFields(16, 1, 0, 4).Pointer(36).Pointer(34)  // RDATA at 34
           .Pointer(12).RecordFields(15, 1, 0, 4).U16(1).Pointer(34)},
      {"pointer without its second byte", Head(1).Pointer(12).RecordFields(15, 1, 0, 3).U16(1).U8(0xC0)},
      {"pointer to a name that never ends",
       Head(1).Pointer(12).RecordFields(15, 1, 0, 4).U16(1).Pointer(38).Raw({3, 'a', 'b', 'c'})},
      {"a name of 256 characters", Head(1).MxRecord(1, k256)},
      {"an owner name of 256 characters", Head(1).Name(k256).RecordFields(15, 1, 0, 3).U16(1).U8(0)},
      {"a label of 64 characters",
       Head(1).Pointer(12).RecordFields(15, 1, 0, 2 + 66).U16(1).U8(64).Raw(Label(64)).U8(0)},
      {"the reserved label form 0x80",
       Head(1).Pointer(12).RecordFields(15, 1, 0, 2 + 4).U16(1).Raw({0x80, 'm', 'x'}).U8(0)},
      {"the reserved label form 0xBF",
       Head(1).Pointer(12).RecordFields(15, 1, 0, 2 + 4).U16(1).Raw({0xBF, 'm', 'x'}).U8(0)},
      {"a pointer into a label's middle",  // offset 13 is the "a" of 01 'a' in the question
       Head(1).Pointer(12).RecordFields(15, 1, 0, 4).U16(1).Pointer(13)},
      {"an exchange that does not end within its record",
       Head(1).Pointer(12).RecordFields(15, 1, 0, 2 + 3).U16(1).Labels("mx1.a")},
  };
  for (const Case& c : cases) {
    MxRecordList list = {{99, "stale", "stale", "1.2.3.4"}};
    EXPECT_EQ(ReadMxReply(c.reply.bytes(), &list), kMalformedReply) << c.name;
    EXPECT_TRUE(list.empty()) << c.name << ": nothing stale or half-read may be chosen from";
  }
}

TEST(ReadMxReply, ResponseCodesFailAndLeaveTheListAlone) {
  struct Case {
    std::uint16_t code;
    std::int32_t result;
  };
  const std::vector<Case> cases = {
      {1, -9}, {2, -8}, {3, -7}, {4, -6}, {5, -5}, {6, -4}, {9, -1},
      {10, -20}, {11, -21}, {15, -25},
  };
  for (const Case& c : cases) {
        MxRecordList list = {{99, "kept", "kept", "1.2.3.4"}};
    // Only the header: with a response code nothing else is read.
    Bytes reply = DnsPacketBuilder().Header(1, static_cast<std::uint16_t>(0x8180 | c.code), 1, 0).bytes();
    EXPECT_EQ(ReadMxReply(reply, &list), c.result) << "code " << c.code;
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].exchange, "kept");
  }
    MxRecordList list = {{99, "kept", "kept", "1.2.3.4"}};
  EXPECT_EQ(ReadMxReply(Bytes(), &list), kNoReply);
  EXPECT_EQ(list.size(), 1u);
}

TEST(ReadMxReply, EveryShorterCutOfAValidReplyIsRefused) {
  Bytes full = Head(3)
                   .Pointer(12).RecordFields(5, 1, 0, 2).Pointer(12)
                   .MxRecord(10, "mx1.a.bc")
                   .Pointer(12).RecordFields(15, 1, 0, 8).U16(20).Labels("mx2").Pointer(12)
                   .bytes();
  {
        MxRecordList list;
    ASSERT_EQ(ReadMxReply(full, &list), kLookupOk);
    ASSERT_EQ(list.size(), 2u);
  }
  for (std::size_t length = 0; length < full.size(); ++length) {
        MxRecordList list = {{99, "stale", "stale", "1.2.3.4"}};
    Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
    std::int32_t result = ReadMxReply(cut, &list);
    EXPECT_EQ(result, length == 0 ? kNoReply : kMalformedReply) << "length " << length;
    if (length > 0) {
      EXPECT_TRUE(list.empty()) << "length " << length;
    }
  }
}

TEST(DecodeName, ReportsWhyANameCannotBeRead) {
  struct Case {
    const char* name;
    Bytes reply;
    std::size_t position;
    std::size_t count;
    ReadStatus status;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"in place up to the count", {0x04, 'm', 'a', 'i', 'l', 0x01, 'x', 0x00}, 0, 8, ReadStatus::kOk, "mail.x"},
      {"the count ends the name too early", {0x04, 'm', 'a', 'i', 'l', 0x01, 'x', 0x00}, 0, 5,
       ReadStatus::kRunsPastEnd, ""},
      {"a label cut by the count", {0x04, 'm', 'a', 'i', 'l', 0x00}, 0, 3, ReadStatus::kRunsPastEnd, ""},
      {"the root name", {0x00}, 0, 1, ReadStatus::kOk, ""},
      {"a zero count holds no name", {0x00}, 0, 0, ReadStatus::kRunsPastEnd, ""},
      {"length 64 is reserved", {0x40, 'a', 0x00}, 0, 3, ReadStatus::kReservedLabel, ""},
      {"length 191 is reserved", {0xBF, 'a', 0x00}, 0, 3, ReadStatus::kReservedLabel, ""},
      {"label characters are not length bytes", {0x03, 'a', 0x01, 'b', 0x00}, 0, 5, ReadStatus::kOk, std::string("a\x01" "b")},
      {"position past the end", {0x00}, 2, 1, ReadStatus::kRunsPastEnd, ""},
      {"count past the end", {0x01, 'a'}, 0, 5, ReadStatus::kRunsPastEnd, ""},
      {"pointer into the name before it", {0x01, 'a', 0x00, 0xC0, 0x00}, 3, 2, ReadStatus::kOk, "a"},
      {"pointer with no second byte", {0x01, 'a', 0xC0}, 2, 1, ReadStatus::kRunsPastEnd, ""},
      {"pointer past the end", {0xC0, 0x05}, 0, 2, ReadStatus::kPointerOutside, ""},
      {"pointer to itself", {0xC0, 0x00}, 0, 2, ReadStatus::kPointerLoop, ""},
      {"pointer target without its zero byte", {0xC0, 0x02, 0x01, 'a'}, 0, 2, ReadStatus::kRunsPastEnd, ""},
  };
  for (const Case& c : cases) {
    std::string text = "untouched";
    EXPECT_EQ(DecodeName(c.reply, c.position, c.count, &text), c.status) << c.name;
    if (c.status == ReadStatus::kOk) {
      EXPECT_EQ(text, c.text) << c.name;
    }
  }
}

TEST(DecodeName, ALongChainOfPointersIsALoop) {
  // Each name is a pointer to the one before it: 200 jumps before the end,
  // more than any real name needs.
  DnsPacketBuilder chain;
  chain.Name("a");  // offset 0
  for (int i = 0; i < 200; ++i) chain.Pointer(static_cast<std::uint16_t>(i == 0 ? 0 : 3 + (i - 1) * 2));
  std::string text;
  EXPECT_EQ(DecodeName(chain.bytes(), chain.size() - 2, 2, &text), ReadStatus::kPointerLoop);
  // A chain of a few jumps is followed to its end.
  EXPECT_EQ(DecodeName(chain.bytes(), 3 + 4 * 2, 2, &text), ReadStatus::kOk);
  EXPECT_EQ(text, "a");
}

}  // namespace
}  // namespace vantrel::dns
