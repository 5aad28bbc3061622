#include "probe/smtp_probe.h"

#include <gtest/gtest.h>

#include <mutex>

#include "probe/local_host_name.h"
#include "probe/task.h"
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

std::string Expand(std::string text, const std::string& host, const std::string& address,
                   const std::string& from = kFrom) {
  for (const auto& [key, value] : {std::pair<std::string, std::string>{"{host}", host},
                                   {"{address}", address}, {"{from}", from}}) {
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size())) {
      text.replace(at, key.size(), value);
    }
  }
  return text;
}

// The slot texts a task stores, with {host}, {address} and {from} of the row.
const char kGood[] = ": 200 OK";
const char kUnreachable[] = ": 400 Remote SMTP server ({host}) unreachable.";
const char kSenderTryAgain[] = ": 400 Remote server ({host}) does not accept mail from \"{from}\"";
const char kRecipientTryAgain[] = ": 400 Remote server ({host}) does not accept mail to \"{address}\"";
const char kRecipientBad[] = ": 500 Remote server ({host}) does not accept mail to \"{address}\"";
const char kRefusedUs[] = ": 400 Remote server ({host}) refused this computer, not the address: ";
const char kNoRelay[] = ": 400 Remote server ({host}) does not take mail for this domain: ";

struct Outcome {
  std::int32_t result = 99;
  std::string verdict;  // what the task stores for the result
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
  bool no_services_database = false;  // the "smtp" lookup fails
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
    testing::LetTasksFind(&dialog);
    testing::SmtpScriptServer server(host, std::move(steps));
    EXPECT_TRUE(server.listening());
    testing::TestNetwork network;
    testing::NameThisComputer(network, in.local_name);
    if (in.no_services_database) network.lookup_service = [](const std::string&, const char*, std::uint16_t*) { return false; };
    network.connect_tcp = [&network](std::uint32_t to, std::uint16_t port, int wait_ms) {
      EXPECT_EQ(port, 25);
      EXPECT_EQ(wait_ms, Shared().waits.smtp_wait_ms);
      return network.SystemNetwork::ConnectTcp(to, port, wait_ms, nullptr);
    };
    Outcome out;
    ProbeDetail detail;
    out.result = ProbeAddress(network, host, in.from, in.address, in.slot, std::nullopt, &detail);
    out.verdict = VerdictForProbeResult(out.result, host, in.from, in.address, detail.reply).slot_text;
    if (server.Connections() > 0) {
      EXPECT_TRUE(server.WaitUntilDone());
    }
    out.sent = server.Received();
    out.log = TakeLogBuffer();
    out.statuses = dialog.StatusHistory();
    out.cells = dialog.Cells();
    testing::LetTasksFind(nullptr);
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
  std::string name;
  std::vector<SmtpStep> steps;
  std::string verdict;
  std::string sent;
  std::vector<std::string> log;
  std::vector<std::string> statuses = {};
  Input in = {};
  int wait_ms = 10000;
};

Input With(std::string from, std::string address, std::string local_name = kLocalName, int slot = 3) {
  return Input{std::move(from), std::move(address), std::move(local_name), slot, ""};
}

// Every refusal code at every step: only the recipient's own 5xx makes an
// address bad; the rest leave it to be tried again.
std::vector<DialogueCase> RefusalsAtEachStep() {
  std::vector<DialogueCase> cases;
  const std::vector<SmtpStep> before = {Say("220 ready\r\n"), Say("250 hello\r\n"), Say("250 ok\r\n")};
  const std::vector<std::string> log_before = {kConnected, "220 ready", "HELO", "250 hello",
                                               "MAIL FROM: <owner@example.org>", "250 ok",
                                               "RCPT TO: <jane.doe@example.com>"};
  const std::string commands = std::string(kHelo) + kMail + kRcpt;
  for (const char* code : {"421", "450", "451", "452", "550", "551", "553", "554"}) {
    const std::string line = std::string(code) + " refused here";
    const bool permanent = code[0] == '5';
    auto steps = [&](std::size_t step) {
      std::vector<SmtpStep> script(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(step));
      script.push_back(Say(line + "\r\n"));
      return script;
    };
    cases.push_back({line + " as the greeting", steps(0), kUnreachable, "", {kConnected, line, line}});
    cases.push_back({line + " to HELO", steps(1), kUnreachable, kHelo,
                     {kConnected, "220 ready", "HELO", line, "HELO error: " + line},
                     {"Status: We said: HELO probe.example.net", "Status: They said: " + line}});
    cases.push_back({line + " to MAIL FROM", steps(2), kSenderTryAgain, std::string(kHelo) + kMail,
                     {kConnected, "220 ready", "HELO", "250 hello", "MAIL FROM: <owner@example.org>", line,
                      "MAIL FROM error: " + line},
                     {"Status: We said: MAIL FROM: <owner@example.org>", "Status: They said: " + line}});
    std::vector<std::string> log = log_before;
    log.insert(log.end(), {line, "RCPT TO error: " + line});
    cases.push_back({line + " to RCPT TO", steps(3), permanent ? kRecipientBad : kRecipientTryAgain, commands, log,
                     {"Status: We said: RCPT TO: <jane.doe@example.com>", "Status: They said: " + line}});
  }
  return cases;
}

TEST_F(SmtpProbeTest, DialoguesEndWithTheRightVerdictBytesAndLogLines) {
  const std::string all = std::string(kHelo) + kMail + kRcpt + kQuit;
  const std::vector<std::string> accepted_log = {
      kConnected, "220 mx ready", "HELO", "250 mx hello", "MAIL FROM: <owner@example.org>", "250 2.1.0 ok",
      "RCPT TO: <jane.doe@example.com>", "250 2.1.5 ok", "QUIT"};
  const std::vector<SmtpStep> accepting = {Say("220 mx ready\r\n"), Say("250 mx hello\r\n"), Say("250 2.1.0 ok\r\n"),
                                           Say("250 2.1.5 ok\r\n"), Say("221 bye\r\n")};
  const std::vector<std::string> log_to_rcpt = {kConnected, "220 ready", "HELO", "250 hello",
                                                "MAIL FROM: <owner@example.org>", "250 ok",
                                                "RCPT TO: <jane.doe@example.com>"};
  auto rcpt_log = [&](std::vector<std::string> tail) {
    std::vector<std::string> log = log_to_rcpt;
    log.insert(log.end(), tail.begin(), tail.end());
    return log;
  };
  auto rcpt_status = [](const std::string& they_said) {
    return std::vector<std::string>{"Status: We said: RCPT TO: <jane.doe@example.com>",
                                    "Status: They said: " + they_said};
  };
  const std::string to_rcpt = std::string(kHelo) + kMail + kRcpt;
  auto to_rcpt_then = [](SmtpStep last) {
    return std::vector<SmtpStep>{Say("220 ready\r\n"), Say("250 hello\r\n"), Say("250 ok\r\n"), std::move(last)};
  };
  std::vector<DialogueCase> cases = {
      {"accepted", accepting, kGood, all, accepted_log},
      {"accepted, slot 0", accepting, kGood, all, accepted_log, {}, With(kFrom, kAddress, kLocalName, 0)},
      {"no services database: port 25 all the same", accepting, kGood, all, accepted_log, {},
       Input{kFrom, kAddress, kLocalName, 3, "", true}},
      {"three-line greeting is read whole before HELO",
       {Say("220-mx.example.com\r\n220-no UCE\r\n220 ready\r\n"), Say("250 hello\r\n"), Say("250 ok\r\n"),
        Say("250 ok\r\n")},
       kGood, all,
       {kConnected, "220-mx.example.com", "220-no UCE", "220 ready", "HELO", "250 hello",
        "MAIL FROM: <owner@example.org>", "250 ok", "RCPT TO: <jane.doe@example.com>", "250 ok", "QUIT"}},
      {"every reply in several lines",
       {Say("220-mx\r\n220 ready\r\n"), Say("250-mx hello\r\n250-SIZE 1000\r\n250 HELP\r\n"),
        Say("250-2.1.0 sender\r\n250 2.1.0 ok\r\n"), Say("250-2.1.5 recipient\r\n250 2.1.5 ok\r\n")},
       kGood, all,
       {kConnected, "220-mx", "220 ready", "HELO", "250-mx hello", "250-SIZE 1000", "250 HELP",
        "MAIL FROM: <owner@example.org>", "250-2.1.0 sender", "250 2.1.0 ok", "RCPT TO: <jane.doe@example.com>",
        "250-2.1.5 recipient", "250 2.1.5 ok", "QUIT"}},
      {"a two-line HELO reply leaves the refusal of the recipient to RCPT TO",
       {Say("220 ready\r\n"), Say("250-mx hello\r\n250 SIZE 1000\r\n"), Say("250 ok\r\n"),
        Say("550 no such user\r\n")},
       kRecipientBad, to_rcpt,
       {kConnected, "220 ready", "HELO", "250-mx hello", "250 SIZE 1000", "MAIL FROM: <owner@example.org>",
        "250 ok", "RCPT TO: <jane.doe@example.com>", "550 no such user", "RCPT TO error: 550 no such user"},
       rcpt_status("550 no such user")},
      {"250- lines then 550 for the recipient: the last line decides",
       to_rcpt_then(Say("250-looking\r\n250-still looking\r\n550 5.1.1 no such user\r\n")), kRecipientBad, to_rcpt,
       rcpt_log({"250-looking", "250-still looking", "550 5.1.1 no such user",
                 "RCPT TO error: 550 5.1.1 no such user"}),
       rcpt_status("550 5.1.1 no such user")},
      {"a two-line refusal of MAIL FROM",
       {Say("220 ready\r\n"), Say("250 hello\r\n"), Say("553-5.7.1 sender\r\n553 5.7.1 rejected\r\n")},
       kSenderTryAgain, std::string(kHelo) + kMail,
       {kConnected, "220 ready", "HELO", "250 hello", "MAIL FROM: <owner@example.org>", "553-5.7.1 sender",
        "553 5.7.1 rejected", "MAIL FROM error: 553 5.7.1 rejected"},
       {"Status: We said: MAIL FROM: <owner@example.org>", "Status: They said: 553 5.7.1 rejected"}},
      {"a refusal after 250- lines to HELO",
       {Say("220 ready\r\n"), Say("250-mx hello\r\n554 go away\r\n")}, kUnreachable, kHelo,
       {kConnected, "220 ready", "HELO", "250-mx hello", "554 go away", "HELO error: 554 go away"},
       {"Status: We said: HELO probe.example.net", "Status: They said: 554 go away"}},
      {"421 as the second greeting line",
       {Say("220-hello\r\n421 too busy\r\n")}, kUnreachable, "",
       {kConnected, "220-hello", "421 too busy", "421 too busy"}},
      {"server never greets", {Say("")}, kUnreachable, "", {kConnected, "", ""}, {}, {}, 200},
      {"server closes in the middle of the greeting",
       {SayThenHangUp("220 mx rea")}, kUnreachable, "",
       {kConnected, "220 mx rea", "HELO", "", "HELO error: "},
       {"Status: We said: HELO probe.example.net", "Status: They said: "}},
      {"server hangs up instead of answering HELO",
       {Say("220 ready\r\n"), SayThenHangUp("")}, kUnreachable, kHelo,
       {kConnected, "220 ready", "HELO", "", "HELO error: "},
       {"Status: We said: HELO probe.example.net", "Status: They said: "}},
      {"no local name: HELO with nothing after the blank", accepting, kGood,
       std::string("HELO \r\n") + kMail + kRcpt + kQuit, accepted_log, {}, With(kFrom, kAddress, "")},
      {"FROM text without an address",
       {Say("220 ready\r\n"), Say("250 hello\r\n")}, kSenderTryAgain, kHelo,
       {kConnected, "220 ready", "HELO", "250 hello", "Invalid FROM email address.", "Invalid FROM email address."},
       {}, With("List owner", kAddress)},
      {"a blank before the @ of the tested address",
       {Say("220 ready\r\n"), Say("250 hello\r\n"), Say("250 ok\r\n")}, kRecipientBad,
       std::string(kHelo) + kMail,
       {kConnected, "220 ready", "HELO", "250 hello", "MAIL FROM: <owner@example.org>", "250 ok",
        "Invalid TO email address"},
       {}, With(kFrom, "jane.doe @example.com")},
      {"RCPT TO silent until the wait limit", to_rcpt_then(Say("")), kRecipientTryAgain, to_rcpt,
       rcpt_log({"", "RCPT TO error: "}), rcpt_status(""), {}, 200},
      {"a 5xx refusal of the recipient that never ends", to_rcpt_then(Say("550-5.1.1 no such\r\n")),
       kRecipientTryAgain, to_rcpt, rcpt_log({"550-5.1.1 no such", "", "RCPT TO error: "}), rcpt_status(""), {}, 200},
      {"a 5xx line cut short by the deadline", to_rcpt_then(Say("550 5.1.1 no su")), kRecipientTryAgain, to_rcpt,
       rcpt_log({"550 5.1.1 no su", "RCPT TO error: 550 5.1.1 no su"}), rcpt_status("550 5.1.1 no su"), {}, 200},
      {"hang-up instead of answering RCPT TO", to_rcpt_then(SayThenHangUp("")), kRecipientTryAgain, to_rcpt,
       rcpt_log({"", "RCPT TO error: "}), rcpt_status("")},
      {"noise in answer to RCPT TO", to_rcpt_then(Say("hello?\r\n")), kRecipientTryAgain, to_rcpt,
       rcpt_log({"hello?", "RCPT TO error: hello?"}), rcpt_status("hello?")},
      {"a blocklist's refusal at RCPT TO is about this computer",
       to_rcpt_then(Say("554-5.7.1 Service unavailable; Client host [192.0.2.1] blocked\r\n554 5.7.1 see https://x\r\n")),
       std::string(kRefusedUs) + "5.7.1 Service unavailable; Client host [192.0.2.1] blocked 5.7.1 see https://x",
       to_rcpt,
       rcpt_log({"554-5.7.1 Service unavailable; Client host [192.0.2.1] blocked", "554 5.7.1 see https://x",
                 "RCPT TO error: 554 5.7.1 see https://x"}),
       rcpt_status("554 5.7.1 see https://x")},
      {"a refusal to relay", to_rcpt_then(Say("554 5.7.1 <jane.doe@example.com>: Relay access denied\r\n")),
       std::string(kNoRelay) + "5.7.1 <jane.doe@example.com>: Relay access denied", to_rcpt,
       rcpt_log({"554 5.7.1 <jane.doe@example.com>: Relay access denied",
                 "RCPT TO error: 554 5.7.1 <jane.doe@example.com>: Relay access denied"}),
       rcpt_status("554 5.7.1 <jane.doe@example.com>: Relay access denied")},
      {"a full mailbox", to_rcpt_then(Say("552 5.2.2 Mailbox full\r\n")),
       ": 400 Remote server ({host}) says the mailbox of \"{address}\" is full", to_rcpt,
       rcpt_log({"552 5.2.2 Mailbox full", "RCPT TO error: 552 5.2.2 Mailbox full"}),
       rcpt_status("552 5.2.2 Mailbox full")},
      {"a final dot after the domain is not sent", accepting, kGood,
       std::string(kHelo) + kMail + kRcpt + kQuit, accepted_log, {}, With(kFrom, "jane.doe@example.com.")},
      {"a blank before the code is no reply code", to_rcpt_then(Say(" 550 no\r\n")), kRecipientTryAgain, to_rcpt,
       rcpt_log({" 550 no", "RCPT TO error:  550 no"}), rcpt_status(" 550 no")},
      {"display name, brackets and capitals",
       accepting, kGood,
       std::string(kHelo) + "MAIL FROM: <Owner@Example.ORG>\r\nRCPT TO: <JANE.Doe@EXAMPLE.com>\r\n" + kQuit,
       {kConnected, "220 mx ready", "HELO", "250 mx hello", "MAIL FROM: <Owner@Example.ORG>", "250 2.1.0 ok",
        "RCPT TO: <JANE.Doe@EXAMPLE.com>", "250 2.1.5 ok", "QUIT"},
       {}, With("\"Owner, List\" <Owner@Example.ORG>", "<JANE.Doe@EXAMPLE.com>")},
      {"an apostrophe inside the local part is probed whole",
       accepting, kGood, std::string(kHelo) + kMail + "RCPT TO: <o'brien@example.ie>\r\n" + kQuit,
       {kConnected, "220 mx ready", "HELO", "250 mx hello", "MAIL FROM: <owner@example.org>", "250 2.1.0 ok",
        "RCPT TO: <o'brien@example.ie>", "250 2.1.5 ok", "QUIT"},
       {}, With(kFrom, "'o'brien@example.ie'")},
  };
  for (DialogueCase& c : RefusalsAtEachStep()) cases.push_back(std::move(c));
  int n = 100;
  for (const DialogueCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string host = testing::LoopbackAddress(n++);
    Shared().waits.smtp_wait_ms = c.wait_ms;
    Outcome out = Run(host, c.steps, c.in);
    EXPECT_EQ(out.verdict, Expand(c.verdict, host, c.in.address, c.in.from));
    EXPECT_EQ(out.sent, c.sent);
    EXPECT_EQ(out.log, Log(c.log, c.in.slot, host, c.in.address));
    EXPECT_EQ(out.statuses, c.statuses);
  }
}

TEST_F(SmtpProbeTest, ShowsEachStepInItsOwnRowAndCountsTheConnection) {
  const std::string host = testing::LoopbackAddress(50);
  Shared().probes_made = 0;
  Shared().connections_opened = 0;
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
  EXPECT_EQ(Shared().probes_made.load(), 1);
  EXPECT_EQ(Shared().connections_opened.load(), 1);
  EXPECT_EQ(TakeLastReply(7), "250 ok");
}

TEST_F(SmtpProbeTest, AHostThatRefusesTheConnectionIsToBeTriedAgain) {
  const std::string host = testing::LoopbackAddress(51);  // nobody listens here
  RecordingDialog dialog("");
  testing::LetTasksFind(&dialog);
  Shared().probes_made = 0;
  Shared().connections_opened = 0;
  testing::TestNetwork network;
  testing::NameThisComputer(network, kLocalName);
  std::int32_t result = ProbeAddress(network, host, kFrom, kAddress, 4);
  EXPECT_EQ(VerdictForProbeResult(result, host, kFrom, kAddress).slot_text,
            Expand(kUnreachable, host, kAddress));
  EXPECT_EQ(TakeLogBuffer(), "\r\n4 Error connecting to mailhost\r\n4 Error connecting to mailhost");
  EXPECT_EQ(Shared().probes_made.load(), 1);
  EXPECT_EQ(Shared().connections_opened.load(), 0);
  EXPECT_TRUE(dialog.Cells().empty());
  EXPECT_TRUE(dialog.StatusHistory().empty());
  testing::LetTasksFind(nullptr);
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
      {"before the greeting came", {Say("220 ready\r\n")}, "Connected to {host} for", "", {kConnected}},
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

// Neither a stop nor a host that turned this computer away earlier in the
// run is worth a connection, nor a look-up of this computer's name.
TEST_F(SmtpProbeTest, WithTheStopFlagSetOrAHostThatRefusedUsNothingIsOpened) {
  const struct {
    const char* name;
    bool stop;
    std::int32_t result;
  } cases[] = {{"stop flag set", true, kProbeStopped}, {"host refused us earlier", false, kProbeHostRefusedEarlier}};
  int n = 70;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string host = testing::LoopbackAddress(n++);
    testing::SmtpScriptServer server(host, {Say("220 ready\r\n")});
    RecordingDialog dialog("");
    testing::LetTasksFind(&dialog);
    Shared().stop_flag = c.stop ? -1 : 0;
    if (!c.stop) RecordRefusalOfUs(host, "5.7.1 blocked");
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
    EXPECT_EQ(ProbeAddress(network, host, kFrom, kAddress, 3), c.result);
    EXPECT_FALSE(opened);
    EXPECT_FALSE(named);
    EXPECT_EQ(server.Connections(), 0);
    EXPECT_TRUE(LogBufferEmpty());
    EXPECT_TRUE(dialog.Cells().empty());
    testing::LetTasksFind(nullptr);
  }
}

TEST_F(SmtpProbeTest, TheProductLinksSayHeloWithThisMachinesName) {
  const std::string host = testing::LoopbackAddress(72);
  testing::SmtpScriptServer server(
      host, {Say("220 ready\r\n"), Say("250 hello\r\n"), Say("250 ok\r\n"), Say("250 ok\r\n")});
  RecordingDialog dialog("");
  testing::LetTasksFind(&dialog);
  EXPECT_EQ(ProbeAddress(platform::RealNetwork(), host, kFrom, kAddress, 3), kProbeAccepted);
  EXPECT_TRUE(server.WaitUntilDone());
  EXPECT_EQ(server.Received(), "HELO " + LocalHostName(platform::RealNetwork()) + "\r\n" + kMail + kRcpt + kQuit);
  testing::LetTasksFind(nullptr);
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
