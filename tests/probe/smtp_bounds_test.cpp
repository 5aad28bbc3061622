// Servers that never finish a reply: endless continuation lines, a byte at a
// time, a line of megabytes, silence. Each probe must end within its deadline
// or its size limits, with a verdict to try again, a bounded log, and at the
// stop flag's word.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <thread>

#include "probe/shared_state.h"
#include "probe/smtp_probe.h"
#include "probe/task.h"
#include "tests/probe/probe_fixture.h"
#include "tests/support/fake_main_dialog.h"
#include "tests/support/loopback.h"
#include "tests/support/test_network.h"

namespace vantrel {
namespace {

using platform::IoResult;
using platform::IoStatus;

const char kHost[] = "127.0.0.9";
const char kFrom[] = "<owner@example.org>";
const char kAddress[] = "jane@example.com";

// A peer that says prefix and then pattern over and over, chunk bytes per
// receive, each receive pace_ms after it was asked (a receive that may wait
// less times out). With stop_after, it sets the stop flag once it has said
// that many bytes.
struct Chatter {
  std::string prefix;
  std::string pattern;
  std::size_t chunk = 65536;
  int pace_ms = 0;
  std::size_t stop_after = 0;
};

struct ChatterRecord {
  std::size_t said = 0;
  std::string heard;
};

class ChatterStream : public platform::ByteStream {
 public:
  ChatterStream(Chatter chatter, std::shared_ptr<ChatterRecord> record)
      : chatter_(std::move(chatter)), record_(std::move(record)) {}

  IoResult Receive(char* buffer, std::size_t size, int wait_ms) override {
    if (chatter_.pace_ms > 0) {
      // Stands for a slow peer on the caller's own thread; nothing else waits.
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min(chatter_.pace_ms, wait_ms)));
      if (wait_ms < chatter_.pace_ms) return {IoStatus::kTimeout, 0};
    }
    const std::size_t n = std::min(size, chatter_.chunk);
    for (std::size_t i = 0; i < n; ++i, ++record_->said) {
      const std::size_t at = record_->said;
      buffer[i] = at < chatter_.prefix.size()
                      ? chatter_.prefix[at]
                      : chatter_.pattern[(at - chatter_.prefix.size()) % chatter_.pattern.size()];
    }
    if (chatter_.stop_after > 0 && record_->said >= chatter_.stop_after) Shared().stop_flag = -1;
    return {IoStatus::kOk, n};
  }
  IoResult Send(const char* data, std::size_t size, int) override {
    record_->heard.append(data, size);
    return {IoStatus::kOk, size};
  }

 private:
  Chatter chatter_;
  std::shared_ptr<ChatterRecord> record_;
};

std::string LogOf(const std::vector<std::string>& texts) {
  std::string log;
  for (const std::string& text : texts) log += "\r\n3 " + text;
  return log;
}

std::vector<std::string> Repeated(const std::string& line, int times) { return std::vector<std::string>(times, line); }

std::vector<std::string> Joined(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

struct BoundCase {
  const char* name;
  Chatter chatter;
  std::string verdict;                           // "" when the probe is to stop
  std::optional<std::vector<std::string>> log;   // the whole log when it is known
  std::string log_begins;                        // else how it begins
  std::size_t max_said;                          // bytes the probe took at most
  std::string heard;
};

class SmtpBoundsTest : public testing::SharedStateTest {};

TEST_F(SmtpBoundsTest, NoServerHoldsAProbePastItsDeadlineOrItsSizeLimits) {
  const std::string connected = std::string("Connected to ") + kHost + " for " + kAddress;
  const std::string unreachable = std::string(": 400 Remote SMTP server (") + kHost + ") unreachable.";
  const std::string try_recipient_again =
      std::string(": 400 Remote server (") + kHost + ") does not accept mail to \"" + kAddress + "\"";
  const std::string to_rcpt = "220 ready\r\n250 hello\r\n250 ok\r\n";
  const std::string commands = "HELO mx.test\r\nMAIL FROM: <owner@example.org>\r\nRCPT TO: <jane@example.com>\r\n";
  const std::string mega_line_kept = "220 " + std::string(996, 'x');
  const std::vector<BoundCase> cases = {
      {"endless 220- greeting lines", {"", "220-spam\r\n"}, unreachable,
       Joined({{connected}, Repeated("220-spam", 101), {"220-spam"}}), "", 65536, ""},
      {"endless 220- lines a byte at a time", {"", "220-drip\r\n", 1}, unreachable,
       Joined({{connected}, Repeated("220-drip", 101), {"220-drip"}}), "", 1010, ""},
      {"a line of megabytes", {"220 ", "x"}, unreachable,
       std::vector<std::string>{connected, mega_line_kept, mega_line_kept}, "", 65536, ""},
      {"endless 250- lines for the recipient", {to_rcpt, "250-more\r\n"}, try_recipient_again,
       Joined({{connected, "220 ready", "HELO", "250 hello", "MAIL FROM: <owner@example.org>", "250 ok",
                "RCPT TO: <jane@example.com>"},
               Repeated("250-more", 101),
               {"RCPT TO error: 250-more"}}),
       "", 65536, commands},
      // Each byte comes well inside the wait limit, the line never.
      {"one byte every few milliseconds", {"220 ", "s", 1, 5}, unreachable, std::nullopt,
       "\r\n3 " + connected + "\r\n3 220 s", 1000, ""},
      {"the stop flag in the middle of a greeting stream", {"", "220-spam\r\n", 1, 0, 500}, "",
       std::vector<std::string>{connected}, "", 500, ""},
  };
  for (const BoundCase& c : cases) {
    SCOPED_TRACE(c.name);
    Shared().stop_flag = 0;
    Shared().waits.smtp_wait_ms = 300;
    TakeLogBuffer();
    auto record = std::make_shared<ChatterRecord>();
    testing::TestNetwork network;
    testing::NameThisComputer(network, "mx.test");
    network.lookup_service = [](const std::string&, const char*, std::uint16_t* port) {
      *port = 25;
      return true;
    };
    network.connect_tcp = [&](std::uint32_t, std::uint16_t, int) {
      return std::unique_ptr<platform::ByteStream>(std::make_unique<ChatterStream>(c.chatter, record));
    };
    const std::int32_t result = ProbeAddress(network, kHost, kFrom, kAddress, 3);
    if (c.verdict.empty()) {
      EXPECT_EQ(result, kProbeStopped);
    } else {
      EXPECT_EQ(VerdictForProbeResult(result, kHost, kFrom, kAddress).slot_text, c.verdict);
    }
    const std::string log = TakeLogBuffer();
    if (c.log) {
      EXPECT_EQ(log, LogOf(*c.log));
    } else {
      EXPECT_EQ(log.rfind(c.log_begins, 0), 0u) << log;
    }
    // One reply at most: 101 lines of 1,000 bytes, and the failure text.
    EXPECT_LE(log.size(), 103u * 1010u);
    EXPECT_LE(record->said, c.max_said);
    EXPECT_EQ(record->heard, c.heard);
    EXPECT_LE(TakeLastReply(3).size(), 1000u);
  }
}

// The product's own wait limit, and a server that accepts and then says
// nothing: the stop flag, not the minute, ends the probe.
TEST_F(SmtpBoundsTest, TheStopFlagEndsAProbeWaitingOnASilentServer) {
  const std::string host = testing::LoopbackAddress(90);
  testing::LoopbackTcpServer server(host, 25, [](testing::ServerConnection& connection) {
    connection.DrainUntilClosed();
  });
  ASSERT_TRUE(server.listening()) << "run inside tests/run-in-netns.sh";
  testing::FakeMainDialog dialog;
  testing::LetTasksFind(&dialog);
  Shared().waits.smtp_wait_ms = Waits().smtp_wait_ms;
  testing::TestNetwork network;
  testing::NameThisComputer(network, "mx.test");
  std::int32_t result = 99;
  std::thread probe([&] { result = ProbeAddress(network, host, kFrom, kAddress, 3); });
  EXPECT_TRUE(dialog.WaitFor([&] { return dialog.TaskCell(3, kActivityColumn).rfind("Connected to ", 0) == 0; }));
  Shared().stop_flag = -1;
  probe.join();
  EXPECT_EQ(result, kProbeStopped);
  EXPECT_EQ(TakeLogBuffer(), "\r\n3 Connected to " + host + " for " + kAddress);
  testing::LetTasksFind(nullptr);
}

}  // namespace
}  // namespace vantrel
