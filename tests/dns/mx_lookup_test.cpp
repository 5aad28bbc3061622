#include <dirent.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "dns/mx_lookup.h"
#include "dns/udp_channel.h"
#include "platform/net.h"
#include "tests/dns/fake_system.h"
#include "tests/support/dns_packet_builder.h"
#include "tests/support/loopback.h"

namespace vantrel::dns {
namespace {

using testing::ErrorReplyFor;
using testing::FakeDnsServer;
using testing::LoopbackAddress;
using testing::MxReplyFor;

// Long enough for a loopback reply on a loaded machine; rows that expect
// silence use kSilentWaitMs instead so the suite stays fast.
constexpr int kReplyWaitMs = 10000;
constexpr int kSilentWaitMs = 100;
const std::string kMarker = "marker";

struct LookupOutcome {
  std::int32_t result = 1;
  MxRecordList list;
  Bytes query;
};

// The run's three calls, in its order, under one start of the sockets library.
LookupOutcome Lookup(platform::Network& network, const std::string& server, const std::string& domain,
                     int wait_ms) {
  LookupOutcome outcome;
  platform::SocketsLease lease(network);
  outcome.query = BuildQuery(domain, kTypeMx, kClassIn);
  Bytes reply = ExchangeQuery(network, server, outcome.query, wait_ms);
  outcome.result = ReadMxReply(network, reply, &outcome.list);
  return outcome;
}

// Every query the server got before this call. A marker datagram is sent
// last and waited for, so nothing sent earlier can still be on its way.
std::vector<std::string> QueriesSoFar(FakeDnsServer& server, const std::string& address) {
  platform::SocketHandle socket = platform::OpenUdp(-1);
  std::uint32_t to = ParseServerAddress(address);
  platform::SendDatagram(socket, to, server.port(), kMarker.data(), kMarker.size());
  platform::CloseSocket(socket);
  std::vector<std::string> queries;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    queries = server.Queries();
    if (!queries.empty() && queries.back() == kMarker) {
      queries.pop_back();
      return queries;
    }
    std::this_thread::yield();
  }
  ADD_FAILURE() << "the marker never reached the server";
  return queries;
}

FakeDnsServer::Responder Silent() {
  return [](const std::string&) -> std::optional<std::string> { return std::nullopt; };
}

FakeDnsServer::Responder Answer(std::function<std::string(const std::string&)> make) {
  return [make](const std::string& query) -> std::optional<std::string> {
    if (query == kMarker) return std::nullopt;
    return make(query);
  };
}

class MxLookupTest : public ::testing::Test {
 protected:
  const std::string server_address_ = LoopbackAddress(53);
};

TEST_F(MxLookupTest, GivesTheResultOfEveryKindOfFailure) {
  struct Case {
    const char* name;
    std::string server_text;  // "@" stands for the fake server's address
    FakeDnsServer::Responder responder;
    bool sockets_start;
    int wait_ms;
    std::int32_t result;
    std::size_t queries;  // datagrams the server received
    std::vector<std::string> addresses;
  };
  const std::vector<Case> cases = {
      {"no server configured", "", Silent(), true, kReplyWaitMs, kNoReply, 0, {}},
      {"sockets library cannot start", "@", Answer([](const std::string& q) { return MxReplyFor(q, {}); }),
       false, kReplyWaitMs, kNoReply, 0, {}},
      {"server text with two dots", "127.0.0", Silent(), true, kSilentWaitMs, kNoReply, 0, {}},
      {"server text giving address 0", "0.0.0.0", Silent(), true, kSilentWaitMs, kNoReply, 0, {}},
      {"server silent", "@", Silent(), true, kSilentWaitMs, kNoReply, 1, {}},
      {"empty datagram back", "@", Answer([](const std::string&) { return std::string(); }), true,
       kReplyWaitMs, kNoReply, 1, {}},
      {"domain does not exist", "@", Answer([](const std::string& q) { return ErrorReplyFor(q, 3); }), true,
       kReplyWaitMs, -7, 1, {}},
      {"server failure", "@", Answer([](const std::string& q) { return ErrorReplyFor(q, 2); }), true,
       kReplyWaitMs, -8, 1, {}},
      {"reply that cannot be read", "@", Answer([](const std::string& q) { return q.substr(0, 14); }), true,
       kReplyWaitMs, kMalformedReply, 1, {}},
      {"no MX record", "@", Answer([](const std::string& q) { return MxReplyFor(q, {}); }), true,
       kReplyWaitMs, kLookupOk, 1, {}},
      {"MX host unknown to the resolver", "@",
       Answer([](const std::string& q) { return MxReplyFor(q, {{10, "nowhere.a.bc"}}); }), true, kReplyWaitMs,
       kLookupOk, 1, {""}},
      {"MX host resolved", "@",
       Answer([](const std::string& q) { return MxReplyFor(q, {{10, "mx1.a.bc"}}); }), true, kReplyWaitMs,
       kLookupOk, 1, {"127.1.2.6"}},
  };
  for (const Case& c : cases) {
    FakeDnsServer server(server_address_, c.responder);
    ASSERT_TRUE(server.listening());
    FakeSystem system(Hosts{{"mx1.a.bc", "127.1.2.6"}}, c.sockets_start);
    
    LookupOutcome outcome = Lookup(system, c.server_text == "@" ? server_address_ : c.server_text, "a.bc", c.wait_ms);

    EXPECT_EQ(outcome.result, c.result) << c.name;
    std::vector<std::string> addresses;
    if (outcome.result == kLookupOk) {
      for (const MxRecord& record : outcome.list) addresses.push_back(record.address);
    }
    EXPECT_EQ(addresses, c.addresses) << c.name;
    std::vector<std::string> queries = QueriesSoFar(server, server_address_);
    ASSERT_EQ(queries.size(), c.queries) << c.name;
    if (!queries.empty()) {
      EXPECT_EQ(queries[0], std::string(outcome.query.begin(), outcome.query.end())) << c.name;
    }
    EXPECT_EQ(system.starts, system.stops) << c.name << ": every start-up is released once";
  }
}

TEST_F(MxLookupTest, WithoutAServerNoChannelIsOpened) {
  FakeSystem system;
    EXPECT_EQ(Lookup(system, "", "a.bc", kReplyWaitMs).result, kNoReply);
  // Only the lookup's own start-up: a channel would have started its own.
  EXPECT_EQ(system.starts, 1);
  EXPECT_EQ(system.stops, 1);
}

TEST_F(MxLookupTest, TakesTheReplyWhoeverSendsIt) {
  struct Case {
    const char* name;
    bool other_port;
    std::string other_address;
  };
  const std::vector<Case> cases = {
      {"from another port", true, ""},
      {"from another address", false, LoopbackAddress(55)},
  };
  for (const Case& c : cases) {
    FakeDnsServer server(server_address_, Answer([](const std::string& q) { return MxReplyFor(q, {{10, "mx1.a.bc"}}); }),
                         53, c.other_port, c.other_address);
    ASSERT_TRUE(server.listening()) << c.name;
    FakeSystem system(Hosts{{"mx1.a.bc", "127.1.2.6"}});
        LookupOutcome outcome = Lookup(system, server_address_, "a.bc", kReplyWaitMs);
    EXPECT_EQ(outcome.result, kLookupOk) << c.name;
    ASSERT_EQ(outcome.list.size(), 1u) << c.name;
    EXPECT_EQ(outcome.list[0].address, "127.1.2.6") << c.name;
  }
}

TEST_F(MxLookupTest, UsesTheRecordsOfATruncatedReplyAndResolvesEveryHost) {
  FakeDnsServer server(server_address_, Answer([](const std::string& q) {
                         return MxReplyFor(q, {{30, "mx3.a.bc"}, {10, "mx1.a.bc"}, {20, "mx2.a.bc"}}, 0, true);
                       }));
  ASSERT_TRUE(server.listening());
  FakeSystem system(Hosts{{"mx1.a.bc", "127.1.2.6"}, {"mx2.a.bc", "127.1.2.7"}, {"mx3.a.bc", "127.1.2.8"}});
    LookupOutcome outcome = Lookup(system, server_address_, "a.bc", kReplyWaitMs);
  ASSERT_EQ(outcome.result, kLookupOk);
  ASSERT_EQ(outcome.list.size(), 3u);
  EXPECT_EQ(outcome.list[1].preference, 10);
  EXPECT_EQ(outcome.list[1].address, "127.1.2.6");
  EXPECT_EQ(system.resolved, (std::vector<std::string>{"mx3.a.bc", "mx1.a.bc", "mx2.a.bc"}));
}

TEST_F(MxLookupTest, TheRealResolverReadsDottedAddressesWithoutAsking) {
  FakeDnsServer server(server_address_, Answer([](const std::string& q) { return MxReplyFor(q, {{5, "127.1.2.5"}}); }));
  ASSERT_TRUE(server.listening());
    LookupOutcome outcome = Lookup(platform::RealNetwork(), server_address_, "a.bc", kReplyWaitMs);
  ASSERT_EQ(outcome.result, kLookupOk);
  ASSERT_EQ(outcome.list.size(), 1u);
  EXPECT_EQ(outcome.list[0].exchange, "127.1.2.5");
  EXPECT_EQ(outcome.list[0].address, "127.1.2.5");
}

TEST_F(MxLookupTest, AZoneAnswersEachDomainWithItsOwnRecords) {
  FakeDnsServer server(server_address_, testing::MxZoneResponder({
                                            {"a.bc", {{10, "127.1.2.5"}}},
                                            {"d.ef", {{20, "127.1.2.6"}, {5, "127.1.2.7"}}},
                                        }));
  ASSERT_TRUE(server.listening());
    struct Case {
    std::string domain;
    std::int32_t result;
    std::vector<std::string> addresses;
  };
  const std::vector<Case> cases = {
      {"a.bc", kLookupOk, {"127.1.2.5"}},
      {"d.ef", kLookupOk, {"127.1.2.6", "127.1.2.7"}},
      {"nowhere.example", -7, {}},
  };
  for (const Case& c : cases) {
    LookupOutcome outcome = Lookup(platform::RealNetwork(), server_address_, c.domain, kReplyWaitMs);
    EXPECT_EQ(outcome.result, c.result) << c.domain;
    std::vector<std::string> addresses;
    if (outcome.result == kLookupOk) {
      for (const MxRecord& record : outcome.list) addresses.push_back(record.address);
    }
    EXPECT_EQ(addresses, c.addresses) << c.domain;
  }
}

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) ++count;
    ::closedir(dir);
  }
  return count;
}

TEST_F(MxLookupTest, EachLookupClosesItsChannelBeforeItEnds) {
  FakeDnsServer server(server_address_, Answer([](const std::string& q) { return MxReplyFor(q, {{10, "mx1.a.bc"}}); }));
  ASSERT_TRUE(server.listening());
  FakeSystem system(Hosts{{"mx1.a.bc", "127.1.2.6"}});
    std::size_t before = OpenDescriptors();
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(Lookup(system, server_address_, "a.bc", kReplyWaitMs).result, kLookupOk);
    EXPECT_EQ(OpenDescriptors(), before) << "lookup " << i;
    EXPECT_EQ(system.starts, system.stops) << "lookup " << i;
  }
  EXPECT_GT(system.starts, 0);
  EXPECT_EQ(QueriesSoFar(server, server_address_).size(), 2u);
}

}  // namespace
}  // namespace vantrel::dns
