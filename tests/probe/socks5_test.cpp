// The SOCKS5 client under a whole probe, over the Network seam: every kind
// of proxy answer, each good one also cut short at every length, and the
// exact bytes the client sent.
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
  std::int32_t result;
  std::string words = "";  // the logged reason when the proxy did not connect
};

class Socks5Test : public testing::SharedStateTest {};

TEST_F(Socks5Test, EveryProxyAnswerEndsAsItShouldWithTheBytesSent) {
  const std::int32_t kNoConnection = kProbeHostUnreachable;
  auto greeted = [](const std::string& reply) { return std::vector{Packet(Text({5, 0})), Packet(reply)}; };
  std::vector<ProxyCase> cases = {
      {"no authentication; the greeting comes in the reply's packet", false, greeted(kBound + kReplies),
       kGreetNone + kConnect + kSmtp, kProbeAccepted},
      {"credentials accepted", true, {Packet(Text({5, 2})), Packet(Text({1, 0})), Packet(kBound + kReplies)},
       kGreetBoth + kAuth + kConnect + kSmtp, kProbeAccepted},
      {"credentials offered, none wanted", true, greeted(kBound + kReplies), kGreetBoth + kConnect + kSmtp,
       kProbeAccepted},
      {"a bound name, read to its last byte", false, greeted(Text(ConnectReply(0, 3, {2, 'p', 'x'})) + kReplies),
       kGreetNone + kConnect + kSmtp, kProbeAccepted},
      {"a bound IPv6 address", false, greeted(Text(ConnectReply(0, 4, Bytes(16, 0))) + kReplies),
       kGreetNone + kConnect + kSmtp, kProbeAccepted},
      {"credentials refused", true, {Packet(Text({5, 2})), Packet(Text({1, 1}))}, kGreetBoth + kAuth, kNoConnection,
       "the proxy refused the user name or password"},
      {"credentials wanted, none given", false, {Packet(Text({5, 0xFF}))}, kGreetNone, kNoConnection,
       "the proxy accepts none of our authentication methods"},
      {"a method never offered", false, {Packet(Text({5, 1}))}, kGreetNone, kNoConnection,
       "the proxy does not speak SOCKS5"},
      {"an HTTP proxy's answer", false, {Packet("HTTP/1.1 400 Bad Request\r\n")}, kGreetNone, kNoConnection,
       "the proxy does not speak SOCKS5"},
      {"a bound address of an unknown type", false, greeted(Text(ConnectReply(0, 2, {}))), kGreetNone + kConnect,
       kNoConnection, "the proxy does not speak SOCKS5"},
      {"a proxy that never answers", false, {}, kGreetNone, kNoConnection, "no answer from the proxy in time"},
      // The stop may come before the greeting went out.
      {"a proxy that never answers, and a stop", false, {}, "", kProbeStopped},
  };
  const char* const kWords[] = {"general failure", "connection not allowed by ruleset", "network unreachable",
                                "host unreachable", "connection refused", "TTL expired", "command not supported",
                                "address type not supported"};
  for (std::uint8_t code = 1; code <= 8; ++code) {
    // The code alone is enough: some proxies close without the rest.
    cases.push_back({"CONNECT failure " + std::to_string(code), false,
                     greeted(code % 2 != 0 ? Text(ConnectReply(code, 1, {0, 0, 0, 0})) : Text({5, code})),
                     kGreetNone + kConnect, kNoConnection, kWords[code - 1]});
  }
  // A good exchange cut short, then a close: never taken for whole, nor for noise.
  for (std::size_t whole = 0; cases[whole].result == kProbeAccepted; ++whole) {
    std::string said;
    for (const testing::StreamEvent& answer : cases[whole].answers) said += answer.bytes;
    for (std::size_t cut = 0; cut + kReplies.size() < said.size(); ++cut) {
      cases.push_back({cases[whole].name + ", cut after " + std::to_string(cut), cases[whole].credentials,
                       {Packet(said.substr(0, cut)), testing::PeerClosed()}, "", kNoConnection,
                       "the proxy closed the connection"});
    }
  }
  int n = 20;
  for (const ProxyCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string silent_proxy = testing::LoopbackAddress(n++);
    testing::LoopbackTcpServer silent(silent_proxy, 1080, [](testing::ServerConnection& peer) { peer.DrainUntilClosed(); });
    ASSERT_TRUE(silent.listening()) << "run inside tests/run-in-netns.sh";
    Shared().stop_flag = 0;
    // A stop must end the wait long before the product's own limit would.
    Shared().waits.smtp_wait_ms = c.result == kProbeStopped ? Waits().smtp_wait_ms : 300;
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
    ProxiedNetwork network(direct, *ParseProxyUrl(c.credentials ? "socks5://user:se%3Acr@t@proxy.test:1080"
                                                                : "socks5://proxy.test:1080").proxy, 3);
    std::int32_t result = 99;
    std::thread probe([&] { result = ProbeAddress(network, "127.0.0.9", "<owner@example.org>", "jane@example.com", 3); });
    auto since = std::chrono::steady_clock::now();
    if (c.result == kProbeStopped) {
      EXPECT_TRUE(silent.WaitForConnections(1));
      since = std::chrono::steady_clock::now();
      Shared().stop_flag = -1;
    }
    probe.join();
    EXPECT_LT(std::chrono::steady_clock::now() - since, std::chrono::seconds(c.result == kProbeStopped ? 1 : 9));
    EXPECT_EQ(result, c.result);
    if (!c.sent.empty()) {
      EXPECT_EQ(c.answers.empty() ? silent.Received() : record->sent, c.sent);
    }
    const std::string log = TakeLogBuffer();
    if (c.result == kProbeAccepted) continue;
    EXPECT_EQ(log, c.words.empty() ? "" : "\r\n3 The proxy proxy.test:1080 did not connect to 127.0.0.9:25: " +
                                             c.words + "\r\n3 Error connecting to mailhost\r\n3 Error connecting to mailhost");
  }
}

}  // namespace
}  // namespace vantrel
