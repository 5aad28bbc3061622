#include "probe/smtp_probe.h"

#include <gtest/gtest.h>

#include <mutex>

#include "probe/local_host_name.h"
#include "tests/probe/probe_fixture.h"
#include "tests/probe/smtp_script_server.h"
#include "tests/support/fake_main_dialog.h"
#include "tests/support/loopback.h"
#include "tests/support/test_network.h"

namespace vantrel {
namespace {

using testing::SmtpStep;

// Records every activity text and can set the stop flag when one begins
// with a chosen text, to stop a dialogue between two of its own steps.
class RecordingDialog : public testing::FakeMainDialog {
 public:
  explicit RecordingDialog(std::string stop_at) : stop_at_(std::move(stop_at)) {}
  void SetTaskCell(int row, int column, const std::string& text) override {
    FakeMainDialog::SetTaskCell(row, column, text);
    std::lock_guard<std::mutex> lock(mutex_);
    cells_.push_back(std::to_string(row) + "/" + std::to_string(column) + " " + text);
    if (!stop_at_.empty() && text.rfind(stop_at_, 0) == 0) Shared().stop_flag = -1;
  }
  std::vector<std::string> Cells() {
    std::lock_guard<std::mutex> lock(mutex_);
    return cells_;
  }

 private:
  std::string stop_at_;
  std::mutex mutex_;
  std::vector<std::string> cells_;
};

const char kFrom[] = "List Owner <owner@example.org>";
const char kAddress[] = "jane.doe@example.com";
const char kLocalName[] = "probe.example.net";
const char kHelo[] = "HELO probe.example.net\r\n";
const char kMail[] = "MAIL FROM: <owner@example.org>\r\n";
const char kRcpt[] = "RCPT TO: <jane.doe@example.com>\r\n";
const char kQuit[] = "QUIT\r\n";
const char kConnected[] = "Connected to {host} for {address}";

SmtpStep Say(std::string reply) { return {std::move(reply), false, false}; }
SmtpStep StopThenSay(std::string reply) { return {std::move(reply), true, false}; }
SmtpStep SayThenHangUp(std::string reply) { return {std::move(reply), false, true}; }

std::string Expand(std::string text, const std::string& host, const std::string& address) {
  for (const auto& [key, value] : {std::pair<std::string, std::string>{"{host}", host}, {"{address}", address}}) {
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size())) {
      text.replace(at, key.size(), value);
    }
  }
  return text;
}

struct Outcome {
  std::int32_t result = 99;
  std::string sent;
  std::string log;
  std::vector<std::string> statuses;
  std::vector<std::string> cells;
};

struct Input {
  std::string from = kFrom;
  std::string address = kAddress;
  std::string local_name = kLocalName;
  int slot = 3;
  std::string stop_at_activity;
};

class SmtpProbeTest : public testing::SharedStateTest {
 protected:
  void SetUp() override {
    SharedStateTest::SetUp();
    Shared().waits.smtp_wait_ms = 10000;  // generous: only a silent server waits it out
    Shared().waits.quit_pause_ms = 0;
  }

  // One dialogue against a scripted server; returns once the probe has
  // returned and the server has seen the connection end.
  Outcome Run(const std::string& host, std::vector<SmtpStep> steps, const Input& in) {
    Shared().stop_flag = 0;
    TakeLogBuffer();
    RecordingDialog dialog(Expand(in.stop_at_activity, host, in.address));
    Shared().main_dialog = &dialog;
    testing::SmtpScriptServer server(host, std::move(steps));
    EXPECT_TRUE(server.listening());
    testing::TestNetwork network;
    testing::NameThisComputer(network, in.local_name);
    network.connect_tcp = [&network](std::uint32_t to, std::uint16_t port, int wait_ms) {
      EXPECT_EQ(port, 25);
      EXPECT_EQ(wait_ms, Shared().waits.smtp_wait_ms);
      return network.SystemNetwork::ConnectTcp(to, port, wait_ms);
    };
    Outcome out;
    out.result = ProbeAddress(network, host, in.from, in.address, in.slot);
    if (server.Connections() > 0) {
      EXPECT_TRUE(server.WaitUntilDone());
    }
    out.sent = server.Received();
    out.log = TakeLogBuffer();
    out.statuses = dialog.StatusHistory();
    out.cells = dialog.Cells();
    Shared().main_dialog = nullptr;
    return out;
  }

  static std::string Log(const std::vector<std::string>& texts, int slot, const std::string& host,
                         const std::string& address) {
    std::string log;
    for (const std::string& text : texts) log += "\r\n" + std::to_string(slot) + " " + Expand(text, host, address);
    return log;
  }
};

struct DialogueCase {
  const char* name;
  std::vector<SmtpStep> steps;
  std::int32_t result;
  std::string sent;
  std::vector<std::string> log;
  std::vector<std::string> statuses = {};
  Input in = {};
  int wait_ms = 10000;
};

Input With(std::string from, std::string address, std::string local_name = kLocalName, int slot = 3) {
  return Input{std::move(from), std::move(address), std::move(local_name), slot, ""};
}

TEST_F(SmtpProbeTest, DialoguesEndWithTheRightResultBytesAndLogLines) {
  const std::string all = std::string(kHelo) + kMail + kRcpt + kQuit;
  const std::vector<std::string> accepted_log = {
      kConnected, "220 mx ready", "HELO", "250 mx hello", "MAIL FROM: <owner@example.org>", "250 2.1.0 ok",
      "RCPT TO: <jane.doe@example.com>", "250 2.1.5 ok", "QUIT"};
  const std::vector<SmtpStep> accepting = {Say("220 mx ready\r\n"), Say("250 mx hello\r\n"), Say("250 2.1.0 ok\r\n"),
                                           Say("250 2.1.5 ok\r\n"), Say("221 bye\r\n")};
  const std::vector<DialogueCase> cases = {
      {"accepted", accepting, kProbeAccepted, all, accepted_log},
      {"accepted, slot 0", accepting, kProbeAccepted, all, accepted_log, {}, With(kFrom, kAddress, kLocalName, 0)},
      {"three-line greeting is read whole before HELO",
       {Say("220-mx.example.com\r\n220-no UCE\r\n220 ready\r\n"), Say("250 hello\r\n"), Say("250 ok\r\n"),
        Say("250 ok\r\n")},
       kProbeAccepted, all,
       {kConnected, "220-mx.example.com", "220-no UCE", "220 ready", "HELO", "250 hello",
        "MAIL FROM: <owner@example.org>", "250 ok", "RCPT TO: <jane.doe@example.com>", "250 ok", "QUIT"}},
      {"greeting refused", {Say("554 no service here\r\n")}, kProbeHostUnreachable, "",
       {kConnected, "554 no service here", "554 no service here"}},
      {"421 as the second greeting line",
       {Say("220-hello\r\n421 too busy\r\n")}, kProbeHostUnreachable, "",
       {kConnected, "220-hello", "421 too busy", "421 too busy"}},
      {"server never greets", {Say("")}, kProbeHostUnreachable, "", {kConnected, "", ""}, {}, {}, 200},
      {"server closes in the middle of the greeting",
       {SayThenHangUp("220 mx rea")}, kProbeHostUnreachable, "",
       {kConnected, "220 mx rea", "HELO", "", "HELO error: "},
       {"Status: We said: HELO probe.example.net", "Status: They said: "}},
      {"HELO refused",
       {Say("220 ready\r\n"), Say("550 not you\r\n")}, kProbeHostUnreachable, kHelo,
       {kConnected, "220 ready", "HELO", "550 not you", "HELO error: 550 not you"},
       {"Status: We said: HELO probe.example.net", "Status: They said: 550 not you"}},
      {"server hangs up instead of answering HELO",
       {Say("220 ready\r\n"), SayThenHangUp("")}, kProbeHostUnreachable, kHelo,
       {kConnected, "220 ready", "HELO", "", "HELO error: "},
       {"Status: We said: HELO probe.example.net", "Status: They said: "}},
      {"no local name: HELO with nothing after the blank", accepting, kProbeAccepted,
       std::string("HELO \r\n") + kMail + kRcpt + kQuit, accepted_log, {}, With(kFrom, kAddress, "")},
      {"FROM text without an address",
       {Say("220 ready\r\n"), Say("250 hello\r\n")}, kProbeSenderRefused, kHelo,
       {kConnected, "220 ready", "HELO", "250 hello", "Invalid FROM email address.", "Invalid FROM email address."},
       {}, With("List owner", kAddress)},
      {"MAIL FROM refused",
       {Say("220 ready\r\n"), Say("250 hello\r\n"), Say("553 5.7.1 sender rejected\r\n")}, kProbeSenderRefused,
       std::string(kHelo) + kMail,
       {kConnected, "220 ready", "HELO", "250 hello", "MAIL FROM: <owner@example.org>", "553 5.7.1 sender rejected",
        "MAIL FROM error: 553 5.7.1 sender rejected"},
       {"Status: We said: MAIL FROM: <owner@example.org>", "Status: They said: 553 5.7.1 sender rejected"}},
      {"a blank before the @ of the tested address",
       {Say("220 ready\r\n"), Say("250 hello\r\n"), Say("250 ok\r\n")}, kProbeRecipientRefused,
       std::string(kHelo) + kMail,
       {kConnected, "220 ready", "HELO", "250 hello", "MAIL FROM: <owner@example.org>", "250 ok",
        "Invalid TO email address"},
       {}, With(kFrom, "jane.doe @example.com")},
      {"RCPT TO refused",
       {Say("220 ready\r\n"), Say("250 hello\r\n"), Say("250 ok\r\n"), Say("550 5.1.1 no such user\r\n")},
       kProbeRecipientRefused, std::string(kHelo) + kMail + kRcpt,
       {kConnected, "220 ready", "HELO", "250 hello", "MAIL FROM: <owner@example.org>", "250 ok",
        "RCPT TO: <jane.doe@example.com>", "550 5.1.1 no such user", "RCPT TO error: 550 5.1.1 no such user"},
       {"Status: We said: RCPT TO: <jane.doe@example.com>", "Status: They said: 550 5.1.1 no such user"}},
      {"a 4xx reply refuses like a 5xx",
       {Say("220 ready\r\n"), Say("250 hello\r\n"), Say("250 ok\r\n"), Say("450 4.2.0 greylisted\r\n")},
       kProbeRecipientRefused, std::string(kHelo) + kMail + kRcpt,
       {kConnected, "220 ready", "HELO", "250 hello", "MAIL FROM: <owner@example.org>", "250 ok",
        "RCPT TO: <jane.doe@example.com>", "450 4.2.0 greylisted", "RCPT TO error: 450 4.2.0 greylisted"},
       {"Status: We said: RCPT TO: <jane.doe@example.com>", "Status: They said: 450 4.2.0 greylisted"}},
      {"a blank before the code is no positive reply",
       {Say("220 ready\r\n"), Say("250 hello\r\n"), Say("250 ok\r\n"), Say(" 250 ok\r\n")},
       kProbeRecipientRefused, std::string(kHelo) + kMail + kRcpt,
       {kConnected, "220 ready", "HELO", "250 hello", "MAIL FROM: <owner@example.org>", "250 ok",
        "RCPT TO: <jane.doe@example.com>", " 250 ok", "RCPT TO error:  250 ok"},
       {"Status: We said: RCPT TO: <jane.doe@example.com>", "Status: They said:  250 ok"}},
      {"a two-line HELO reply answers MAIL FROM with its second line",
       {Say("220 ready\r\n"), Say("250-mx hello\r\n250 SIZE 1000\r\n"), Say("550 no such user\r\n")},
       kProbeRecipientRefused, std::string(kHelo) + kMail + kRcpt,
       {kConnected, "220 ready", "HELO", "250-mx hello", "MAIL FROM: <owner@example.org>", "250 SIZE 1000",
        "RCPT TO: <jane.doe@example.com>", "550 no such user", "RCPT TO error: 550 no such user"},
       {"Status: We said: RCPT TO: <jane.doe@example.com>", "Status: They said: 550 no such user"}},
      {"display name, brackets and capitals",
       accepting, kProbeAccepted,
       std::string(kHelo) + "MAIL FROM: <Owner@Example.ORG>\r\nRCPT TO: <JANE.Doe@EXAMPLE.com>\r\n" + kQuit,
       {kConnected, "220 mx ready", "HELO", "250 mx hello", "MAIL FROM: <Owner@Example.ORG>", "250 2.1.0 ok",
        "RCPT TO: <JANE.Doe@EXAMPLE.com>", "250 2.1.5 ok", "QUIT"},
       {}, With("\"Owner, List\" <Owner@Example.ORG>", "<JANE.Doe@EXAMPLE.com>")},
      {"an apostrophe inside the local part is probed whole",
       accepting, kProbeAccepted, std::string(kHelo) + kMail + "RCPT TO: <o'brien@example.ie>\r\n" + kQuit,
       {kConnected, "220 mx ready", "HELO", "250 mx hello", "MAIL FROM: <owner@example.org>", "250 2.1.0 ok",
        "RCPT TO: <o'brien@example.ie>", "250 2.1.5 ok", "QUIT"},
       {}, With(kFrom, "'o'brien@example.ie'")},
  };
  int n = 20;
  for (const DialogueCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string host = testing::LoopbackAddress(n++);
    Shared().waits.smtp_wait_ms = c.wait_ms;
    Outcome out = Run(host, c.steps, c.in);
    EXPECT_EQ(out.result, c.result);
    EXPECT_EQ(out.sent, c.sent);
    EXPECT_EQ(out.log, Log(c.log, c.in.slot, host, c.in.address));
    EXPECT_EQ(out.statuses, c.statuses);
  }
}

TEST_F(SmtpProbeTest, ShowsEachStepInItsOwnRow) {
  const std::string host = testing::LoopbackAddress(50);
  Outcome out = Run(host,
                    {Say("220 ready\r\n"), Say("250 hello\r\n"), Say("250 ok\r\n"), Say("250 ok\r\n")},
                    With(kFrom, kAddress, kLocalName, 7));
  EXPECT_EQ(out.result, kProbeAccepted);
  EXPECT_EQ(out.cells, (std::vector<std::string>{
                           "7/1 Connected to " + host + " for jane.doe@example.com",
                           "7/1 Connected to " + host + ": HELO",
                           "7/1 Connected to " + host + ": MAIL FROM: <owner@example.org>",
                           "7/1 Connected to " + host + ": RCPT TO: <jane.doe@example.com>",
                           "7/1 Disconnecting " + host,
                       }));
}

TEST_F(SmtpProbeTest, AHostThatRefusesTheConnectionIsLoggedTwice) {
  const std::string host = testing::LoopbackAddress(51);  // nobody listens here
  RecordingDialog dialog("");
  Shared().main_dialog = &dialog;
  testing::TestNetwork network;
  testing::NameThisComputer(network, kLocalName);
  EXPECT_EQ(ProbeAddress(network, host, kFrom, kAddress, 4), kProbeHostUnreachable);
  EXPECT_EQ(TakeLogBuffer(), "\r\n4 Error connecting to mailhost\r\n4 Error connecting to mailhost");
  EXPECT_TRUE(dialog.Cells().empty());
  EXPECT_TRUE(dialog.StatusHistory().empty());
  Shared().main_dialog = nullptr;
}

struct StopCase {
  const char* name;
  std::vector<SmtpStep> steps;
  std::string stop_at_activity;
  std::string sent;
  std::vector<std::string> log;
};

TEST_F(SmtpProbeTest, TheStopFlagEndsTheDialogueAtItsNextCheckWithoutAWord) {
  const std::vector<SmtpStep> accepting = {Say("220 ready\r\n"), Say("250 hello\r\n"), Say("250 ok\r\n"),
                                           Say("250 ok\r\n")};
  const std::vector<StopCase> cases = {
      {"during the greeting", {StopThenSay("220 ready\r\n")}, "", "", {kConnected, "220 ready"}},
      {"awaiting the HELO reply", {Say("220 ready\r\n"), StopThenSay("250 hello\r\n")}, "", kHelo,
       {kConnected, "220 ready", "HELO"}},
      {"awaiting the MAIL FROM reply",
       {Say("220 ready\r\n"), Say("250 hello\r\n"), StopThenSay("250 ok\r\n")}, "", std::string(kHelo) + kMail,
       {kConnected, "220 ready", "HELO", "250 hello", "MAIL FROM: <owner@example.org>"}},
      {"right after RCPT TO went out", accepting, "Connected to {host}: RCPT TO",
       std::string(kHelo) + kMail + kRcpt,
       {kConnected, "220 ready", "HELO", "250 hello", "MAIL FROM: <owner@example.org>", "250 ok"}},
      {"right after QUIT went out", accepting, "Disconnecting",
       std::string(kHelo) + kMail + kRcpt + kQuit,
       {kConnected, "220 ready", "HELO", "250 hello", "MAIL FROM: <owner@example.org>", "250 ok",
        "RCPT TO: <jane.doe@example.com>", "250 ok", "QUIT"}},
  };
  int n = 60;
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string host = testing::LoopbackAddress(n++);
    Input in;
    in.stop_at_activity = c.stop_at_activity;
    Outcome out = Run(host, c.steps, in);
    EXPECT_EQ(out.result, kProbeStopped);
    EXPECT_EQ(out.sent, c.sent);
    EXPECT_EQ(out.log, Log(c.log, in.slot, host, in.address));
    EXPECT_TRUE(out.statuses.empty());
  }
}

TEST_F(SmtpProbeTest, WithTheStopFlagSetNothingIsOpened) {
  const std::string host = testing::LoopbackAddress(70);
  testing::SmtpScriptServer server(host, {Say("220 ready\r\n")});
  RecordingDialog dialog("");
  Shared().main_dialog = &dialog;
  Shared().stop_flag = -1;
  bool opened = false;
  bool named = false;
  testing::TestNetwork network;
  network.first_local_address = [&](std::uint32_t*) {
    named = true;
    return false;
  };
  network.connect_tcp = [&](std::uint32_t, std::uint16_t, int) {
    opened = true;
    return std::unique_ptr<platform::ByteStream>();
  };
  EXPECT_EQ(ProbeAddress(network, host, kFrom, kAddress, 3), kProbeStopped);
  EXPECT_FALSE(opened);
  EXPECT_FALSE(named);
  EXPECT_EQ(server.Connections(), 0);
  EXPECT_TRUE(LogBufferEmpty());
  EXPECT_TRUE(dialog.Cells().empty());
  Shared().main_dialog = nullptr;
}

TEST_F(SmtpProbeTest, TheProductLinksSayHeloWithThisMachinesName) {
  const std::string host = testing::LoopbackAddress(71);
  testing::SmtpScriptServer server(
      host, {Say("220 ready\r\n"), Say("250 hello\r\n"), Say("250 ok\r\n"), Say("250 ok\r\n")});
  RecordingDialog dialog("");
  Shared().main_dialog = &dialog;
  EXPECT_EQ(ProbeAddress(platform::RealNetwork(), host, kFrom, kAddress, 3), kProbeAccepted);
  EXPECT_TRUE(server.WaitUntilDone());
  EXPECT_EQ(server.Received(), "HELO " + LocalHostName(platform::RealNetwork()) + "\r\n" + kMail + kRcpt + kQuit);
  Shared().main_dialog = nullptr;
}

TEST(IsPositiveReply, ReadsTheFirstThreeCharactersAsANumber) {
  const struct {
    const char* line;
    bool positive;
  } cases[] = {
      {"250 OK", true},       {"220-mx.example.com", true}, {"200", true},    {"299 x", true},
      {"2500 big", true},     {"199 x", false},             {"300 x", false}, {"421 busy", false},
      {"550 no", false},      {"25", false},                {"", false},      {" 250 OK", false},
      {"\t250", false},       {"OK 250", false},            {"2.5", false},   {"-250", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsPositiveReply(c.line), c.positive) << "\"" << c.line << "\"";
}

}  // namespace
}  // namespace vantrel
