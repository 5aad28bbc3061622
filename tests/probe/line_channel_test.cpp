#include "probe/line_channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <utility>

#include "probe/tcp_stream.h"
#include "tests/probe/scripted_stream.h"
#include "tests/support/loopback.h"
#include "tests/support/test_network.h"

namespace vantrel {
namespace {

using platform::IoStatus;

using testing::Failure;
using testing::Packet;
using testing::PeerClosed;
using testing::ScriptedStream;
using testing::StreamEvent;
using testing::StreamRecord;
using testing::Timeout;

constexpr int kWait = 4321;

struct Channel {
  std::shared_ptr<StreamRecord> record = std::make_shared<StreamRecord>();
  std::unique_ptr<LineChannel> channel;
};

Channel MakeChannel(std::vector<StreamEvent> script, std::size_t send_chunk = static_cast<std::size_t>(-1),
                    std::size_t send_budget = static_cast<std::size_t>(-1),
                    IoStatus send_failure = IoStatus::kError) {
  Channel made;
  made.channel = std::make_unique<LineChannel>(
      std::make_unique<ScriptedStream>(std::move(script), made.record, send_chunk, send_budget, send_failure), kWait);
  return made;
}

struct Line {
  std::string text;
  ChannelError error;
};

struct ReadCase {
  const char* name;
  std::vector<StreamEvent> script;
  std::vector<Line> lines;  // what successive ReadLine calls give
  int receive_calls;        // how often the channel asked the stream
};

TEST(LineChannelRead, FramesLinesFromAnyPacketShape) {
  const ChannelError kOk = ChannelError::kNone;
  const std::vector<ReadCase> cases = {
      {"CR LF ends a line", {Packet("250 OK\r\n")}, {{"250 OK", kOk}}, 1},
      {"LF alone ends a line", {Packet("250 OK\n")}, {{"250 OK", kOk}}, 1},
      {"CR inside a line is dropped", {Packet("250\rx\n")}, {{"250x", kOk}}, 1},
      {"bare CRs never end a line", {Packet("a\rb\r\rc\r\n")}, {{"abc", kOk}}, 1},
      {"empty lines", {Packet("\r\n\n")}, {{"", kOk}, {"", kOk}}, 1},
      {"two lines in one packet cost one receive",
       {Packet("220-first\r\n220 second\r\n")},
       {{"220-first", kOk}, {"220 second", kOk}},
       1},
      {"a line in four packets", {Packet("25"), Packet("0 O"), Packet("K\r"), Packet("\n")}, {{"250 OK", kOk}}, 4},
      {"peer closes mid-line, later calls return at once",
       {Packet("220 partial"), PeerClosed()},
       {{"220 partial", kOk}, {"", kOk}, {"", kOk}},
       2},
      {"buffered lines outlive the close",
       {Packet("a\nb\nc"), PeerClosed()},
       {{"a", kOk}, {"b", kOk}, {"c", kOk}, {"", kOk}},
       2},
      {"silent peer", {Timeout()}, {{"", ChannelError::kTimeout}}, 1},
      {"part of a line, then silence", {Packet("22"), Timeout()}, {{"22", ChannelError::kTimeout}}, 2},
      {"a time-out leaves the channel usable",
       {Timeout(), Packet("250 late\r\n")},
       {{"", ChannelError::kTimeout}, {"250 late", kOk}},
       2},
      {"a receive failure drops the part collected",
       {Packet("22"), Failure()},
       {{"", ChannelError::kReceiveFailed}},
       2},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    Channel made = MakeChannel(c.script);
    for (const Line& expected : c.lines) {
      ChannelError error = ChannelError::kNotOpen;
      EXPECT_EQ(made.channel->ReadLine(&error), expected.text);
      EXPECT_EQ(error, expected.error);
    }
    EXPECT_EQ(made.record->receive_calls, c.receive_calls);
    for (int wait : made.record->waits) {
      EXPECT_LE(wait, kWait);
      EXPECT_GT(wait, kWait - 1000);
    }
  }
}

struct DeadlineCase {
  const char* name;
  std::vector<StreamEvent> script;
  std::chrono::milliseconds deadline_from_now;
  int give_up_after_receives;  // -1: never
  Line line;
  int receive_calls;
};

// A read with a give-up test waits in slices and asks between them; a
// deadline that has passed ends the read whatever is still to come.
TEST(LineChannelRead, ADeadlineBoundsTheWholeLineAndGiveUpIsAskedBetweenSlices) {
  using std::chrono::milliseconds;
  const std::vector<DeadlineCase> cases = {
      {"slices that pass are no deadline", {Timeout(), Timeout(), Packet("250 ok\r\n")}, milliseconds(60000), -1,
       {"250 ok", ChannelError::kNone}, 3},
      {"give-up between two packets keeps the part", {Packet("22"), Packet("0 ok\r\n")}, milliseconds(60000), 1,
       {"22", ChannelError::kAbandoned}, 1},
      {"give-up after a silent slice", {Timeout(), Packet("250 ok\r\n")}, milliseconds(60000), 1,
       {"", ChannelError::kAbandoned}, 1},
      {"a deadline already passed", {Packet("250 ok\r\n")}, milliseconds(-1), -1, {"", ChannelError::kTimeout}, 0},
  };
  for (const DeadlineCase& c : cases) {
    SCOPED_TRACE(c.name);
    Channel made = MakeChannel(c.script);
    StreamRecord& record = *made.record;
    auto give_up = [&] { return c.give_up_after_receives >= 0 && record.receive_calls >= c.give_up_after_receives; };
    ChannelError error = ChannelError::kNotOpen;
    EXPECT_EQ(made.channel->ReadLine(std::chrono::steady_clock::now() + c.deadline_from_now, &error, give_up),
              c.line.text);
    EXPECT_EQ(error, c.line.error);
    EXPECT_EQ(record.receive_calls, c.receive_calls);
    for (int wait : record.waits) EXPECT_EQ(wait, LineChannel::kWaitSlice.count());
  }
}

TEST(LineChannelRead, CutsALongLineAfterTheBufferAndGivesTheRestLater) {
  Channel made = MakeChannel({Packet(std::string(70000, 'a') + "\r\nnext\n")});
  EXPECT_EQ(made.channel->ReadLine(), std::string(65536, 'a'));
  EXPECT_EQ(made.channel->ReadLine(), std::string(70000 - 65536, 'a'));
  EXPECT_EQ(made.channel->ReadLine(), "next");
}

// Not a timed assertion: a channel that rescanned or copied its buffer per
// byte would take minutes here instead of milliseconds.
TEST(LineChannelRead, ATenMegabyteLineComesThroughInPieces) {
  const std::size_t kSize = 10 * 1024 * 1024 + 7;
  std::string huge(kSize, 'x');
  for (std::size_t i = 0; i < kSize; i += 1000) huge[i] = '\r';
  const std::size_t expected = kSize - (kSize + 999) / 1000;
  Channel made = MakeChannel({Packet(huge + "\nafter\n")});
  std::size_t collected = 0;
  int calls = 0;
  while (collected < expected) {
    std::string piece = made.channel->ReadLine();
    ASSERT_FALSE(piece.empty());
    ASSERT_LE(piece.size(), LineChannel::kMaxLineInput);
    ASSERT_EQ(piece.find_first_not_of('x'), std::string::npos);
    collected += piece.size();
    ++calls;
  }
  EXPECT_EQ(collected, expected);
  EXPECT_EQ(calls, static_cast<int>((kSize + LineChannel::kMaxLineInput - 1) / LineChannel::kMaxLineInput));
  EXPECT_EQ(made.channel->ReadLine(), "after");
}

struct SendCase {
  const char* name;
  std::size_t chunk;
  std::size_t budget;
  IoStatus failure;
  std::string text;
  ChannelError error;
  std::string arrived;
  int send_calls;
};

TEST(LineChannelSend, SendsEveryByteOrReportsWhyNot) {
  const std::size_t kAll = static_cast<std::size_t>(-1);
  const std::vector<SendCase> cases = {
      {"one send", kAll, kAll, IoStatus::kError, "HELO mx.example\r\n", ChannelError::kNone, "HELO mx.example\r\n", 1},
      {"short writes", 3, kAll, IoStatus::kError, "QUIT\r\n", ChannelError::kNone, "QUIT\r\n", 2},
      {"nothing added", kAll, kAll, IoStatus::kError, "HELO ", ChannelError::kNone, "HELO ", 1},
      {"empty text sends nothing", kAll, kAll, IoStatus::kError, "", ChannelError::kNone, "", 0},
      {"not writable in time", 4, 4, IoStatus::kTimeout, "RCPT TO: <a@b>\r\n", ChannelError::kTimeout, "RCPT", 2},
      {"send error", 4, 8, IoStatus::kError, "RCPT TO: <a@b>\r\n", ChannelError::kSendFailed, "RCPT TO:", 3},
  };
  for (const SendCase& c : cases) {
    SCOPED_TRACE(c.name);
    Channel made = MakeChannel({}, c.chunk, c.budget, c.failure);
    EXPECT_EQ(made.channel->SendText(c.text), c.error);
    EXPECT_EQ(made.record->sent, c.arrived);
    EXPECT_EQ(made.record->send_calls, c.send_calls);
  }
}

TEST(LineChannel, CloseReleasesTheStreamAndLaterCallsDoNothing) {
  Channel made = MakeChannel({Packet("250 OK\r\n")});
  made.channel->Close();
  EXPECT_TRUE(made.record->destroyed);
  ChannelError error = ChannelError::kNone;
  EXPECT_EQ(made.channel->ReadLine(&error), "");
  EXPECT_EQ(error, ChannelError::kNotOpen);
  EXPECT_EQ(made.channel->SendText("QUIT\r\n"), ChannelError::kNotOpen);
  made.channel->Close();
}

struct OpenFailureCase {
  const char* name;
  std::function<void(testing::TestNetwork&)> break_it;
  OpenError error;
  int stops;  // a start that failed is not released
  const char* service = "smtp";
};

TEST(OpenChannel, EveryFailureLeavesNothingOpenAndReleasesTheLibrary) {
  const std::vector<OpenFailureCase> cases = {
      {"library unavailable", [](testing::TestNetwork& n) { n.start_sockets = [] { return false; }; },
       OpenError::kSocketsUnavailable, 0},
      {"unknown service",
       [](testing::TestNetwork& n) { n.lookup_service = [](const std::string&, const char*, std::uint16_t*) { return false; }; },
       OpenError::kUnknownService, 1, "submission"},
      {"unresolved host",
       [](testing::TestNetwork& n) { n.resolve_host = [](const std::string&, std::uint32_t*) { return false; }; },
       OpenError::kUnresolvedHost, 1},
      {"connect failed",
       [](testing::TestNetwork& n) {
         n.connect_tcp = [](std::uint32_t, std::uint16_t, int) { return std::unique_ptr<platform::ByteStream>(); };
       },
       OpenError::kConnectFailed, 1},
  };
  for (const OpenFailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TestNetwork network;
    network.start_sockets = [] { return true; };
    c.break_it(network);
    OpenError error = OpenError::kNone;
    EXPECT_EQ(OpenChannel(network, "127.0.0.1", c.service, kWait, &error), nullptr);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(network.stops.load(), c.stops);
  }
}

// The rest talk to loopback servers; run them inside tests/run-in-netns.sh.

TEST(OpenChannel, TalksToARealServerOverLoopback) {
  const std::string host = testing::LoopbackAddress(11);
  testing::LoopbackTcpServer server(host, 25, [](testing::ServerConnection& connection) {
    connection.Send("220-two lines\r\n220 in one packet\r\n");
    std::string line;
    if (connection.ReadLine(&line)) connection.Send("250 got " + line);
    connection.Send("221 no LF, then gone");
  });
  ASSERT_TRUE(server.listening());
  OpenError error = OpenError::kConnectFailed;
  auto channel = OpenChannel(platform::RealNetwork(), host, "smtp", 10000, &error);
  ASSERT_NE(channel, nullptr);
  EXPECT_EQ(error, OpenError::kNone);
  EXPECT_EQ(channel->ReadLine(), "220-two lines");
  EXPECT_EQ(channel->ReadLine(), "220 in one packet");
  EXPECT_EQ(channel->SendText("NOOP\r\n"), ChannelError::kNone);
  EXPECT_EQ(channel->ReadLine(), "250 got NOOP");
  EXPECT_EQ(channel->ReadLine(), "221 no LF, then gone");
  ChannelError read_error = ChannelError::kTimeout;
  EXPECT_EQ(channel->ReadLine(&read_error), "");
  EXPECT_EQ(read_error, ChannelError::kNone);  // a close is no error
  EXPECT_EQ(server.Received(), "NOOP\r\n");
}

TEST(OpenChannel, EachOpenChannelHoldsOneStartOfTheLibrary) {
  const std::string host = testing::LoopbackAddress(14);
  testing::LoopbackTcpServer server(host, 25, [](testing::ServerConnection& connection) {
    connection.DrainUntilClosed();
  });
  ASSERT_TRUE(server.listening());
  testing::TestNetwork network;
  network.start_sockets = [] { return true; };
  auto held = [&] { return network.starts.load() - network.stops.load(); };
  auto first = OpenChannel(network, host, "smtp", kWait);
  auto second = OpenChannel(network, host, "smtp", kWait);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(held(), 2);
  first->Close();
  EXPECT_EQ(held(), 1);
  first->Close();
  EXPECT_EQ(held(), 1);
  second.reset();
  EXPECT_EQ(held(), 0);
}

TEST(OpenChannel, ASilentServerGivesTheEmptyLineAfterTheWaitLimit) {
  const std::string host = testing::LoopbackAddress(12);
  testing::LoopbackTcpServer server(host, 25, [](testing::ServerConnection& connection) {
    connection.DrainUntilClosed();
  });
  ASSERT_TRUE(server.listening());
  auto channel = OpenChannel(platform::RealNetwork(), host, "smtp", 100);
  ASSERT_NE(channel, nullptr);
  ChannelError error = ChannelError::kNone;
  EXPECT_EQ(channel->ReadLine(&error), "");
  EXPECT_EQ(error, ChannelError::kTimeout);
}

TEST(OpenChannel, FailsWithoutAServerOrAnAddress) {
  const struct {
    std::string host;
    std::string service;
    OpenError error;
  } cases[] = {
      {testing::LoopbackAddress(13), "smtp", OpenError::kConnectFailed},  // nobody listens
      {"256.1.1.1", "smtp", OpenError::kUnresolvedHost},  // refused by the resolver without a query
      {testing::LoopbackAddress(13), "no-such-service", OpenError::kUnknownService},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host + " " + c.service);
    OpenError error = OpenError::kNone;
    EXPECT_EQ(OpenChannel(platform::RealNetwork(), c.host, c.service, 60000, &error), nullptr);
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
}  // namespace vantrel
