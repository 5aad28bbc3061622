#include "probe/smtp_probe.h"

#include <chrono>
#include <cmath>
#include <optional>
#include <vector>

#include "text/number_text.h"
#include "platform/thread.h"
#include "probe/address_pattern.h"
#include "probe/line_channel.h"
#include "probe/local_host_name.h"
#include "probe/rcpt_refusal.h"
#include "probe/shared_state.h"

namespace vantrel {

namespace {

constexpr char kCrLf[] = "\r\n";

// Whatever a server sends, one reply costs a bounded time, memory and log:
// past these it is taken as a reply that never came.
constexpr std::size_t kMaxReplyLines = 100;
constexpr std::size_t kMaxReplyBytes = 64 * 1024;
// Each reply line is kept, logged and shown only this far.
constexpr std::size_t kKeptLineBytes = 1000;

bool StopFlagSet() { return Shared().stop_flag.load() != 0; }

// A reply's code: its first three characters read as a number, as the
// positive reply test reads them; 0 when they are no number.
int ReplyCode(std::string_view line) {
  double code = std::trunc(text::ReadLeadingNumber(line.substr(0, 3)));
  return code >= 0 && code < 1000 ? static_cast<int>(code) : 0;
}

// One reply of all its lines, as far as it came.
struct Reply {
  std::vector<std::string> lines;  // each cut to kKeptLineBytes
  bool whole = false;    // its last line came, within its deadline and its size
  bool stopped = false;  // the stop flag was seen while it came

  const std::string& Last() const {
    static const std::string kNothing;
    return lines.empty() ? kNothing : lines.back();
  }
  bool Positive() const { return whole && IsPositiveReply(Last()); }
};

// One dialogue: its channel, its row and its log prefix.
class Dialogue {
 public:
  explicit Dialogue(int slot) : slot_(slot), prefix_(std::to_string(slot) + " ") {}

  void Log(const std::string& text) const { AppendLogLine(prefix_ + text); }
  void LogLines(const Reply& reply) const {
    for (const std::string& line : reply.lines) Log(line);
  }
  void Activity(const std::string& text) const { ShowActivity(slot_, kActivityColumn, text); }

  std::unique_ptr<LineChannel> channel;

  // The stop flag ends a dialogue without a word: no failure text, no QUIT.
  ProbeOutcome Stop() {
    Close();
    return ProbeOutcome::kStopped;
  }
  // The common way out of every failure: the failure text once more, then
  // the connection is dropped without QUIT.
  ProbeOutcome Fail(ProbeOutcome outcome, const std::string& failure_text) {
    Log(failure_text);
    Close();
    return outcome;
  }
  // The server refused a command: both sides of the exchange in the status bar.
  void ShowRefusal(const std::string& we_said, const std::string& they_said) const {
    ShowStatus("We said: " + we_said);
    ShowStatus("They said: " + they_said);
  }

  // Sends a command; its reply is due within the wait limit from now.
  void Send(const std::string& command) {
    channel->SendText(command + kCrLf);
    StartReplyClock();
  }
  void StartReplyClock() {
    reply_due_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(Shared().waits.smtp_wait_ms);
  }

  // Reads a reply to its last line: a line whose fourth character is "-"
  // announces another. A short or empty line at the deadline or at the
  // peer's close is still taken, as the line the server left us with.
  Reply ReadReply() {
    Reply reply;
    std::size_t bytes = 0;
    for (;;) {
      if (StopFlagSet()) {
        reply.stopped = true;
        return reply;
      }
      ChannelError error = ChannelError::kNone;
      std::string line = channel->ReadLine(reply_due_, &error, StopFlagSet);
      if (error == ChannelError::kAbandoned) {
        reply.stopped = true;
        return reply;
      }
      bytes += line.size() + 1;
      if (line.size() > kKeptLineBytes) line.resize(kKeptLineBytes);
      if (!line.empty()) SetLastReply(slot_, line);
      const bool more = line.size() >= 4 && line[3] == '-';
      reply.lines.push_back(std::move(line));
      if (error != ChannelError::kNone) return reply;
      if (reply.lines.size() > kMaxReplyLines || bytes > kMaxReplyBytes) return reply;
      if (!more) {
        reply.whole = true;
        return reply;
      }
    }
  }

 private:
  void Close() {
    if (channel != nullptr) channel->Close();
  }
  int slot_;
  std::string prefix_;
  Deadline reply_due_;
};

}  // namespace

bool IsPositiveReply(std::string_view line) {
  int code = ReplyCode(line);
  return code >= 200 && code <= 299;
}

namespace {

std::int32_t ResultFor(ProbeOutcome outcome) {
  switch (outcome) {
    case ProbeOutcome::kAccepted:
      return kProbeAccepted;
    case ProbeOutcome::kStopped:
      return kProbeStopped;
    case ProbeOutcome::kNoConnection:
    case ProbeOutcome::kGreetingRefused:
    case ProbeOutcome::kHeloRefused:
      return kProbeHostUnreachable;
    case ProbeOutcome::kSenderRefused:
      return kProbeSenderRefused;
    case ProbeOutcome::kNoRecipientAddress:
    case ProbeOutcome::kMailbox:
      return kProbeRecipientRefused;
    case ProbeOutcome::kRecipientDeferred:
      return kProbeRecipientDeferred;
    case ProbeOutcome::kRefusedUs:
      return kProbeRefusedUs;
    case ProbeOutcome::kNoRelay:
      return kProbeNoRelay;
    case ProbeOutcome::kMailboxFull:
      return kProbeMailboxFull;
    case ProbeOutcome::kHostRefusedUsEarlier:
      return kProbeHostRefusedEarlier;
  }
  return kProbeHostUnreachable;
}

// Only the recipient's own server saying no for good, about the recipient,
// makes an address bad; a 4xx, silence or noise leaves it to be tried again,
// and so does a refusal that names this computer, its HELO name, its sender
// or relaying.
ProbeOutcome JudgeRcptRefusal(const Reply& reply, const std::string& mail_host, std::string* reply_text) {
  const int code = ReplyCode(reply.Last());
  if (!reply.whole || code < 500 || code > 599) return ProbeOutcome::kRecipientDeferred;
  *reply_text = ReplyText(reply.lines);
  switch (ReadRcptRefusal(reply.lines)) {
    case RcptRefusal::kMailbox:
      return ProbeOutcome::kMailbox;
    case RcptRefusal::kNoRelay:
      return ProbeOutcome::kNoRelay;
    case RcptRefusal::kMailboxFull:
      return ProbeOutcome::kMailboxFull;
    case RcptRefusal::kRefusedUs:
      // At once, so that no other task opens another connection there.
      RecordRefusalOfUs(mail_host, *reply_text);
      return ProbeOutcome::kRefusedUs;
  }
  return ProbeOutcome::kMailbox;
}

ProbeOutcome Converse(platform::Network& network, const std::string& mail_host, const std::string& from_text,
                      const std::string& address, int slot, const std::optional<std::string>& helo_name,
                      std::string* reply_text) {
  SharedState& shared = Shared();
  if (StopFlagSet()) return ProbeOutcome::kStopped;
  // Knocking again on a door that turned this computer away only deepens a block.
  if (HostRefusedUs(mail_host)) return ProbeOutcome::kHostRefusedUsEarlier;
  ++shared.probes_made;
  SetLastReply(slot, std::string());
  Dialogue talk(slot);
  const std::string local_name = helo_name ? *helo_name : LocalHostName(network);

  talk.channel = OpenChannel(network, mail_host, "smtp", shared.waits.smtp_wait_ms, nullptr, StopFlagSet);
  // A host that never completes the handshake must not hold a stop.
  if (talk.channel == nullptr && StopFlagSet()) return talk.Stop();
  if (talk.channel == nullptr) {
    talk.Log("Error connecting to mailhost");
    return talk.Fail(ProbeOutcome::kNoConnection, "Error connecting to mailhost");
  }
  ++shared.connections_opened;
  talk.StartReplyClock();
  talk.Activity("Connected to " + mail_host + " for " + address);
  talk.Log("Connected to " + mail_host + " for " + address);

  Reply reply = talk.ReadReply();
  if (reply.stopped) return talk.Stop();
  talk.LogLines(reply);
  if (!reply.Positive()) return talk.Fail(ProbeOutcome::kGreetingRefused, reply.Last());
  if (StopFlagSet()) return talk.Stop();

  talk.Activity("Connected to " + mail_host + ": HELO");
  talk.Log("HELO");
  talk.Send("HELO " + local_name);
  reply = talk.ReadReply();
  if (reply.stopped || StopFlagSet()) return talk.Stop();
  talk.LogLines(reply);
  if (!reply.Positive()) {
    talk.ShowRefusal("HELO " + local_name, reply.Last());
    return talk.Fail(ProbeOutcome::kHeloRefused, "HELO error: " + reply.Last());
  }

  std::optional<std::string> sender = FindMailbox(from_text);
  if (!sender) {
    talk.Log("Invalid FROM email address.");
    return talk.Fail(ProbeOutcome::kSenderRefused, "Invalid FROM email address.");
  }
  const std::string mail_from = "MAIL FROM: <" + *sender + ">";
  talk.Activity("Connected to " + mail_host + ": " + mail_from);
  talk.Send(mail_from);
  talk.Log(mail_from);
  reply = talk.ReadReply();
  if (reply.stopped || StopFlagSet()) return talk.Stop();
  talk.LogLines(reply);
  if (!reply.Positive()) {
    talk.ShowRefusal(mail_from, reply.Last());
    return talk.Fail(ProbeOutcome::kSenderRefused, "MAIL FROM error: " + reply.Last());
  }

  std::optional<std::string> recipient = FindMailbox(address);
  if (!recipient) return talk.Fail(ProbeOutcome::kNoRecipientAddress, "Invalid TO email address");
  const std::string rcpt_to = "RCPT TO: <" + *recipient + ">";
  talk.Activity("Connected to " + mail_host + ": " + rcpt_to);
  talk.Send(rcpt_to);
  if (StopFlagSet()) return talk.Stop();
  talk.Log(rcpt_to);
  reply = talk.ReadReply();
  if (reply.stopped) return talk.Stop();
  talk.LogLines(reply);
  if (!reply.Positive()) {
    talk.ShowRefusal(rcpt_to, reply.Last());
    return talk.Fail(JudgeRcptRefusal(reply, mail_host, reply_text), "RCPT TO error: " + reply.Last());
  }

  talk.Activity("Disconnecting " + mail_host);
  talk.Log("QUIT");
  talk.Send("QUIT");
  if (StopFlagSet()) return talk.Stop();
  // The server gets a moment to take the QUIT before the connection drops;
  // its answer is of no interest.
  platform::SleepMs(shared.waits.quit_pause_ms);
  talk.channel->Close();
  return ProbeOutcome::kAccepted;
}

}  // namespace

std::int32_t ProbeAddress(platform::Network& network, const std::string& mail_host, const std::string& from_text,
                          const std::string& address, int slot, const std::optional<std::string>& helo_name,
                          ProbeDetail* detail) {
  ProbeDetail ignored;
  ProbeDetail& out = detail != nullptr ? *detail : ignored;
  out = ProbeDetail{};
  out.outcome = Converse(network, mail_host, from_text, address, slot, helo_name, &out.reply);
  return ResultFor(out.outcome);
}

}  // namespace vantrel
