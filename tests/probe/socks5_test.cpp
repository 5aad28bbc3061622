// The SOCKS5 client, under a whole probe over the Network seam: every kind
// of proxy answer, and the exact bytes the client sent; then its reply
// reader alone, over every truncated length.
#include "probe/socks5.h"

#include <gtest/gtest.h>

#include <thread>

#include "probe/proxied_network.h"
#include "probe/smtp_probe.h"
#include "probe/task.h"
#include "tests/probe/probe_fixture.h"
#include "tests/probe/scripted_stream.h"
#include "tests/support/loopback.h"
#include "tests/support/test_network.h"

namespace vantrel {
namespace {

using testing::Packet;
using Bytes = std::vector<std::uint8_t>;

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
Bytes ConnectReply(std::uint8_t code, std::uint8_t type, const Bytes& address) {
  Bytes reply = {5, code, 0, type};
  for (std::uint8_t byte : address) reply.push_back(byte);
  for (std::uint8_t byte : {0x04, 0x38}) reply.push_back(byte);  // the port the proxy bound: of no use to us
  return reply;
}

const std::string kGreetNone = Text({5, 1, 0});           // one method: none
const std::string kGreetBoth = Text({5, 2, 0, 2});        // none, or user name and password
const std::string kAuth = Text({1, 4}) + "user" + Text({7}) + "se:cr@t";
const std::string kConnect = Text({5, 1, 0, 1, 127, 0, 0, 9, 0, 25});  // CONNECT 127.0.0.9:25
const std::string kBound = Text(ConnectReply(0, 1, {10, 0, 0, 1}));
const std::string kReplies = "220 mx\r\n250 hi\r\n250 ok\r\n250 ok\r\n";  // after the reply, in its packet
const std::string kSmtp = "HELO mx.test\r\nMAIL FROM: <owner@example.org>\r\nRCPT TO: <jane@example.com>\r\nQUIT\r\n";

struct ProxyCase {
  std::string name;
  bool credentials;
  std::vector<testing::StreamEvent> answers;  // none: a real proxy that never answers
  std::string sent;
  std::string words;  // why the connection failed; empty when the probe went through
  bool stop = false;  // the stop flag comes while the proxy is silent
};

class Socks5Test : public testing::SharedStateTest {};

TEST_F(Socks5Test, EveryProxyAnswerEndsAsItShouldWithTheBytesSent) {
  auto refused = [](std::uint8_t code) { return Packet(Text(ConnectReply(code, 1, {0, 0, 0, 0}))); };
  std::vector<ProxyCase> cases = {
      {"no authentication; the greeting comes in the reply's packet", false,
       {Packet(Text({5, 0})), Packet(kBound + kReplies)}, kGreetNone + kConnect + kSmtp, ""},
      {"credentials accepted", true, {Packet(Text({5, 2})), Packet(Text({1, 0})), Packet(kBound + kReplies)},
       kGreetBoth + kAuth + kConnect + kSmtp, ""},
      {"credentials offered, none wanted", true, {Packet(Text({5, 0})), Packet(kBound + kReplies)},
       kGreetBoth + kConnect + kSmtp, ""},
      {"a bound name, read to its last byte", false,
       {Packet(Text({5, 0}) + Text(ConnectReply(0, 3, {5, 'p', 'r', 'o', 'x', 'y'})) + kReplies)},
       kGreetNone + kConnect + kSmtp, ""},
      {"credentials refused", true, {Packet(Text({5, 2})), Packet(Text({1, 1}))}, kGreetBoth + kAuth,
       "the proxy refused the user name or password"},
      {"credentials wanted, none given", false, {Packet(Text({5, 0xFF}))}, kGreetNone,
       "the proxy accepts none of our authentication methods"},
      {"a method never offered", false, {Packet(Text({5, 1}))}, kGreetNone, "the proxy does not speak SOCKS5"},
      {"an HTTP proxy's answer", false, {Packet("HTTP/1.1 400 Bad Request\r\n")}, kGreetNone,
       "the proxy does not speak SOCKS5"},
      {"a short reply, then a close", false, {Packet(Text({5, 0})), Packet(Text({5, 0, 0})), testing::PeerClosed()},
       kGreetNone + kConnect, "the proxy closed the connection"},
      {"a bound address of an unknown type", false, {Packet(Text({5, 0})), Packet(Text(ConnectReply(0, 2, {})))},
       kGreetNone + kConnect, "the proxy does not speak SOCKS5"},
      {"a failure code alone, without the rest", false, {Packet(Text({5, 0})), Packet(Text({5, 4})), testing::PeerClosed()},
       kGreetNone + kConnect, "host unreachable"},
      {"a proxy that never answers", false, {}, kGreetNone, "no answer from the proxy in time"},
      {"a proxy that never answers, and a stop", false, {}, kGreetNone, "", true},
  };
  const char* const kCodes[] = {"general failure",     "connection not allowed by ruleset", "network unreachable",
                                "host unreachable",    "connection refused",                "TTL expired",
                                "command not supported", "address type not supported"};
  for (std::uint8_t code = 1; code <= 8; ++code) {
    cases.push_back({"CONNECT failure " + std::to_string(code), false, {Packet(Text({5, 0})), refused(code)},
                     kGreetNone + kConnect, kCodes[code - 1]});
  }
  int n = 20;
  for (const ProxyCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string silent_proxy = testing::LoopbackAddress(n++);
    testing::LoopbackTcpServer silent(silent_proxy, 1080, [](testing::ServerConnection& peer) { peer.DrainUntilClosed(); });
    ASSERT_TRUE(silent.listening()) << "run inside tests/run-in-netns.sh";
    Shared().stop_flag = 0;
    Shared().waits.smtp_wait_ms = c.stop ? Waits().smtp_wait_ms : 300;
    Shared().waits.quit_pause_ms = 0;
    TakeLogBuffer();
    auto record = std::make_shared<testing::StreamRecord>();
    testing::TestNetwork direct;
    testing::NameThisComputer(direct, "mx.test");
    direct.AnswerHostsFrom({{"proxy.test", c.answers.empty() ? silent_proxy : "127.0.0.20"}, {"127.0.0.9", "127.0.0.9"}});
    direct.connect_tcp = [&](std::uint32_t to, std::uint16_t port, int wait_ms) {
      EXPECT_EQ(port, 1080);  // the proxy's, never the mail server's
      if (c.answers.empty()) return direct.SystemNetwork::ConnectTcp(to, port, wait_ms, nullptr);
      return std::unique_ptr<platform::ByteStream>(std::make_unique<testing::ScriptedStream>(c.answers, record));
    };
    ProxyAddress proxy = *ParseProxyUrl(c.credentials ? "socks5://user:se%3Acr@t@proxy.test:1080"
                                                      : "socks5://proxy.test:1080").proxy;
    ProxiedNetwork network(direct, proxy, 3);
    std::int32_t result = 99;
    std::thread probe([&] { result = ProbeAddress(network, "127.0.0.9", "<owner@example.org>", "jane@example.com", 3); });
    if (c.stop) {
      ASSERT_TRUE(silent.WaitForConnections(1));
      const auto stopped_at = std::chrono::steady_clock::now();
      Shared().stop_flag = -1;
      probe.join();
      EXPECT_LT(std::chrono::steady_clock::now() - stopped_at, std::chrono::seconds(1));
    } else {
      probe.join();
    }
    EXPECT_EQ(c.answers.empty() ? silent.Received() : record->sent, c.sent);
    const std::string log = TakeLogBuffer();
    if (c.stop) {
      EXPECT_EQ(result, kProbeStopped);
      EXPECT_EQ(log, "");
    } else if (c.words.empty()) {
      EXPECT_EQ(result, kProbeAccepted);
    } else {
      EXPECT_EQ(result, kProbeHostUnreachable);
      EXPECT_EQ(log, "\r\n3 The proxy proxy.test:1080 did not connect to 127.0.0.9:25: " + c.words +
                         "\r\n3 Error connecting to mailhost\r\n3 Error connecting to mailhost");
      EXPECT_EQ(LastProxyFailure(), c.words);
    }
  }
}

TEST(ReadSocksReply, TakesEachReplyToItsLastByteAndNoFurther) {
  using State = SocksReply::State;
  const struct {
    const char* name;
    SocksReplyKind kind;
    Bytes bytes;
    State state;
    std::uint8_t code;
  } cases[] = {
      {"method: none", SocksReplyKind::kMethod, {5, 0}, State::kWhole, 0},
      {"method: no acceptable one", SocksReplyKind::kMethod, {5, 0xFF}, State::kWhole, 0xFF},
      {"method: SOCKS4's version", SocksReplyKind::kMethod, {4, 0}, State::kMalformed, 0},
      {"credentials: accepted", SocksReplyKind::kAuthentication, {1, 0}, State::kWhole, 0},
      {"credentials: refused", SocksReplyKind::kAuthentication, {1, 1}, State::kWhole, 1},
      {"credentials: SOCKS5's version byte", SocksReplyKind::kAuthentication, {5, 0}, State::kMalformed, 0},
      {"connect: IPv4 bound", SocksReplyKind::kConnect, ConnectReply(0, 1, {10, 0, 0, 1}), State::kWhole, 0},
      {"connect: IPv6 bound", SocksReplyKind::kConnect, ConnectReply(0, 4, Bytes(16, 0)), State::kWhole, 0},
      {"connect: name bound", SocksReplyKind::kConnect, ConnectReply(0, 3, {3, 'a', '.', 'b'}), State::kWhole, 0},
      {"connect: empty name", SocksReplyKind::kConnect, ConnectReply(0, 3, {0}), State::kWhole, 0},
      {"connect: refused, code alone", SocksReplyKind::kConnect, {5, 5}, State::kWhole, 5},
      {"connect: address type 2", SocksReplyKind::kConnect, ConnectReply(0, 2, {1, 2, 3, 4}), State::kMalformed, 0},
      {"connect: HTTP", SocksReplyKind::kConnect, {'H', 'T', 'T', 'P'}, State::kMalformed, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SocksReply whole = ReadSocksReply(c.kind, c.bytes);
    EXPECT_EQ(whole.state, c.state);
    if (c.state != State::kWhole) continue;
    EXPECT_EQ(whole.code, c.code);
    for (std::size_t size = 0; size < c.bytes.size(); ++size) {
      SocksReply part = ReadSocksReply(c.kind, Bytes(c.bytes.begin(), c.bytes.begin() + static_cast<long>(size)));
      EXPECT_EQ(part.state, State::kShort) << size;
      EXPECT_GT(part.missing, 0u) << size;
      EXPECT_LE(size + part.missing, c.bytes.size()) << size << ": asks for bytes past the reply";
    }
    Bytes longer = c.bytes;
    longer.push_back('2');  // the mail server's first byte is no part of the reply
    EXPECT_EQ(ReadSocksReply(c.kind, longer).state, State::kMalformed);
  }
}

}  // namespace
}  // namespace vantrel
