#include <dirent.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "dns/mx_lookup.h"
#include "dns/udp_channel.h"
#include "platform/net.h"
#include "run/mail_host.h"
#include "tests/dns/fake_system.h"
#include "tests/support/dns_packet_builder.h"
#include "tests/support/loopback.h"
#include "tests/support/test_network.h"

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
  outcome.result = ReadMxReply(reply, &outcome.list);
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
  };
  const std::vector<Case> cases = {
      {"no server configured", "", Silent(), true, kReplyWaitMs, kNoReply, 0},
      {"sockets library cannot start", "@", Answer([](const std::string& q) { return MxReplyFor(q, {}); }),
       false, kReplyWaitMs, kNoReply, 0},
      {"server text with two dots", "127.0.0", Silent(), true, kSilentWaitMs, kNoReply, 0},
      {"server text giving address 0", "0.0.0.0", Silent(), true, kSilentWaitMs, kNoReply, 0},
      {"server silent", "@", Silent(), true, kSilentWaitMs, kNoReply, 1},
      {"only an empty datagram back", "@", Answer([](const std::string&) { return std::string(); }), true,
       kSilentWaitMs, kNoReply, 1},
      {"domain does not exist", "@", Answer([](const std::string& q) { return ErrorReplyFor(q, 3); }), true,
       kReplyWaitMs, -7, 1},
      {"server failure", "@", Answer([](const std::string& q) { return ErrorReplyFor(q, 2); }), true,
       kReplyWaitMs, -8, 1},
      {"reply that cannot be read", "@", Answer([](const std::string& q) {
         std::string reply = MxReplyFor(q, {});
         reply[7] = 1;  // one answer counted, none present
         return reply;
       }), true,
       kReplyWaitMs, kMalformedReply, 1},
      {"no MX record", "@", Answer([](const std::string& q) { return MxReplyFor(q, {}); }), true,
       kReplyWaitMs, kLookupOk, 1},
      {"MX records: none resolved", "@",
       Answer([](const std::string& q) { return MxReplyFor(q, {{10, "mx1.a.bc"}}); }), true, kReplyWaitMs,
       kLookupOk, 1},
  };
  for (const Case& c : cases) {
    FakeDnsServer server(server_address_, c.responder);
    ASSERT_TRUE(server.listening());
    FakeSystem system(Hosts{{"mx1.a.bc", "127.1.2.6"}}, c.sockets_start);
    
    LookupOutcome outcome = Lookup(system, c.server_text == "@" ? server_address_ : c.server_text, "a.bc", c.wait_ms);

    EXPECT_EQ(outcome.result, c.result) << c.name;
    EXPECT_TRUE(system.resolved.empty()) << c.name;
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

using run::LookUpMailHost;
using run::MailHost;

struct HostOutcome {
  MailHost::Outcome outcome;
  std::string address;
};

HostOutcome MailHostOf(platform::Network& network, const std::string& server, int wait_ms,
                       const StopCheck& stopped = StopCheck()) {
  MxRecordList records;
  MailHost host = LookUpMailHost(network, server, "a.bc", wait_ms, &records, stopped);
  return {host.outcome, host.address};
}

// The true reply points at mx1 (127.1.2.6); every stray one at evil (127.1.2.66).
std::string TrueReply(const std::string& q) { return MxReplyFor(q, {{10, "mx1.a.bc"}}); }
std::string EvilReply(const std::string& q) { return MxReplyFor(q, {{1, "evil.a.bc"}}); }
std::string OtherId(const std::string& q) {
  std::string reply = EvilReply(q);
  reply[1] = static_cast<char>(reply[1] ^ 1);
  return reply;
}
std::string OtherName(const std::string& q) {
  std::string reply = EvilReply(q);
  reply[reply.find("\x02" "bc")] = 'x';  // a.bc becomes a "xbc" label: another name
  return reply;
}
std::string OtherType(const std::string& q) {
  std::string reply = EvilReply(q);
  reply[12 + 6 + 1] = 1;  // QTYPE A instead of MX, right after a.bc's 6 bytes
  return reply;
}
std::string UpperCaseQuestion(const std::string& q) {
  std::string reply = TrueReply(q);
  for (std::size_t i = 12; i < q.size(); ++i) {
    if (reply[i] >= 'a' && reply[i] <= 'z') reply[i] = static_cast<char>(reply[i] - 'a' + 'A');
  }
  return reply;
}

TEST_F(MxLookupTest, TakesOnlyTheReplyToItsOwnQuestion) {
  using Make = std::string (*)(const std::string&);
  struct Case {
    const char* name;
    bool other_port;
    std::string other_address;
    Make decoy;  // sent before the reply; null for none
    Make reply;
    int wait_ms;
    MailHost::Outcome outcome;
    std::string address;
  };
  const auto kFound = MailHost::Outcome::kFound;
  const auto kNoAnswer = MailHost::Outcome::kNoAnswer;
  const std::string elsewhere = LoopbackAddress(55);
  const std::vector<Case> cases = {
      {"from another port, then the reply", true, "", EvilReply, TrueReply, kReplyWaitMs, kFound, "127.1.2.6"},
      {"from another address, then the reply", false, elsewhere, EvilReply, TrueReply, kReplyWaitMs, kFound,
       "127.1.2.6"},
      {"another ID, then the reply", false, "", OtherId, TrueReply, kReplyWaitMs, kFound, "127.1.2.6"},
      {"another name, then the reply", false, "", OtherName, TrueReply, kReplyWaitMs, kFound, "127.1.2.6"},
      {"another type, then the reply", false, "", OtherType, TrueReply, kReplyWaitMs, kFound, "127.1.2.6"},
      {"only from another port", true, "", nullptr, TrueReply, kSilentWaitMs, kNoAnswer, ""},
      {"only from another address", false, elsewhere, nullptr, TrueReply, kSilentWaitMs, kNoAnswer, ""},
      {"only another ID", false, "", nullptr, OtherId, kSilentWaitMs, kNoAnswer, ""},
      {"only another name", false, "", nullptr, OtherName, kSilentWaitMs, kNoAnswer, ""},
      {"the question in capitals is ours", false, "", nullptr, UpperCaseQuestion, kReplyWaitMs, kFound,
       "127.1.2.6"},
  };
  for (const Case& c : cases) {
    Make reply = c.reply;
    Make decoy = c.decoy;
    FakeDnsServer server(
        server_address_, Answer([reply](const std::string& q) { return reply(q); }), 53, c.other_port,
        c.other_address,
        decoy == nullptr ? FakeDnsServer::Responder() : Answer([decoy](const std::string& q) { return decoy(q); }));
    ASSERT_TRUE(server.listening()) << c.name;
    FakeSystem system(Hosts{{"mx1.a.bc", "127.1.2.6"}, {"evil.a.bc", "127.1.2.66"}});
    HostOutcome got = MailHostOf(system, server_address_, c.wait_ms);
    EXPECT_EQ(got.outcome, c.outcome) << c.name;
    EXPECT_EQ(got.address, c.address) << c.name;
  }
}

TEST_F(MxLookupTest, OnlyTheChosenHostIsResolved) {
  struct Case {
    const char* name;
    std::vector<testing::MxAnswer> records;
    MailHost::Outcome outcome;
    std::string address;
    std::vector<std::string> resolved;
  };
  std::vector<testing::MxAnswer> thousand;
  for (int i = 0; i < 1000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "mx%04d.a.bc", (i * 7919) % 1000);
    thousand.push_back({static_cast<std::uint16_t>(i == 500 ? 5 : 10 + i % 3), name});
  }
  const std::string chosen = thousand[500].exchange;
  const std::vector<Case> cases = {
      {"a thousand hosts", thousand, MailHost::Outcome::kFound, "127.1.2.6", {chosen}},
      {"equal preferences: the first name", {{10, "mx2.a.bc"}, {10, "mx1.a.bc"}}, MailHost::Outcome::kFound,
       "127.1.2.6", {"mx1.a.bc"}},
      {"the chosen host is unknown", {{20, "mx1.a.bc"}, {10, "nowhere.a.bc"}}, MailHost::Outcome::kNoHostAddress,
       "", {"nowhere.a.bc"}},
      {"a null MX is never resolved", {{0, ""}}, MailHost::Outcome::kNullMx, "", {}},
      {"the root preferred, though not at 0, is no null MX", {{5, ""}, {10, "mx1.a.bc"}},
       MailHost::Outcome::kNoHostAddress, "", {}},
      {"no MX record at all", {}, MailHost::Outcome::kNoMx, "", {}},
  };
  for (const Case& c : cases) {
    std::vector<testing::MxAnswer> records = c.records;
    FakeDnsServer server(server_address_, Answer([records](const std::string& q) { return MxReplyFor(q, records); }));
    ASSERT_TRUE(server.listening()) << c.name;
    FakeSystem system(Hosts{{"mx1.a.bc", "127.1.2.6"}, {chosen, "127.1.2.6"}});
    HostOutcome got = MailHostOf(system, server_address_, kReplyWaitMs);
    EXPECT_EQ(got.outcome, c.outcome) << c.name;
    EXPECT_EQ(got.address, c.address) << c.name;
    EXPECT_EQ(system.resolved, c.resolved) << c.name;
  }
}

TEST_F(MxLookupTest, AStopEndsTheWaitAndTheHostLookup) {
  // The waits are a minute long: only a stop seen between slices ends them.
  constexpr int kMinute = 60000;
  {
    std::atomic<bool> stop{false};
    FakeDnsServer server(server_address_, [&stop](const std::string&) -> std::optional<std::string> {
      stop = true;
      return std::nullopt;
    });
    ASSERT_TRUE(server.listening());
    FakeSystem system;
    HostOutcome got = MailHostOf(system, server_address_, kMinute, [&stop] { return stop.load(); });
    EXPECT_EQ(got.outcome, MailHost::Outcome::kStopped) << "during the DNS wait";
  }
  {
    FakeDnsServer server(server_address_, Answer(TrueReply));
    ASSERT_TRUE(server.listening());
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    testing::TestNetwork network;
    network.start_sockets = [] { return true; };
    network.resolve_host = [&](const std::string&, std::uint32_t*) {
      stop = true;
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait_for(lock, std::chrono::seconds(10), [&] { return released; });
      return false;
    };
    HostOutcome got = MailHostOf(network, server_address_, kMinute, [&stop] { return stop.load(); });
    EXPECT_EQ(got.outcome, MailHost::Outcome::kStopped) << "during the host lookup";
    {
      std::lock_guard<std::mutex> lock(mutex);
      released = true;
    }
    changed.notify_all();
    // The abandoned lookup ends on its own; the network must outlive it.
    auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (network.stops.load() < network.starts.load() && std::chrono::steady_clock::now() < bound) {
      std::this_thread::yield();
    }
    EXPECT_EQ(network.stops.load(), network.starts.load());
  }
}

TEST_F(MxLookupTest, TheRealResolverReadsDottedAddressesWithoutAsking) {
  FakeDnsServer server(server_address_, testing::MxZoneResponder({
                                            {"a.bc", {{10, "127.1.2.5"}}},
                                            {"d.ef", {{20, "127.1.2.6"}, {5, "127.1.2.7"}}},
                                        }));
  ASSERT_TRUE(server.listening());
  struct Case {
    std::string domain;
    MailHost::Outcome outcome;
    std::string address;
  };
  const std::vector<Case> cases = {
      {"a.bc", MailHost::Outcome::kFound, "127.1.2.5"},
      {"d.ef", MailHost::Outcome::kFound, "127.1.2.7"},
      {"nowhere.example", MailHost::Outcome::kNoSuchDomain, ""},
  };
  for (const Case& c : cases) {
    MxRecordList records;
    MailHost host = LookUpMailHost(platform::RealNetwork(), server_address_, c.domain, kReplyWaitMs, &records, {});
    EXPECT_EQ(host.outcome, c.outcome) << c.domain;
    EXPECT_EQ(host.address, c.address) << c.domain;
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
