#include "probe/smtp_probe.h"

#include <cmath>
#include <optional>

#include "text/number_text.h"
#include "platform/thread.h"
#include "probe/address_pattern.h"
#include "probe/line_channel.h"
#include "probe/local_host_name.h"
#include "probe/shared_state.h"

namespace vantrel {

namespace {

constexpr char kCrLf[] = "\r\n";

// One dialogue: its channel, its row and its log prefix.
class Dialogue {
 public:
  explicit Dialogue(int slot) : slot_(slot), prefix_(std::to_string(slot) + " ") {}

  bool Stopped() const { return Shared().stop_flag.load() != 0; }
  void Log(const std::string& text) const { AppendLogLine(prefix_ + text); }
  void Activity(const std::string& text) const { ShowActivity(slot_, kActivityColumn, text); }

  std::unique_ptr<LineChannel> channel;

  // The stop flag ends a dialogue without a word: no failure text, no QUIT.
  std::int32_t Stop() {
    Close();
    return kProbeStopped;
  }
  // The common way out of every failure: the failure text once more, then
  // the connection is dropped without QUIT.
  std::int32_t Fail(std::int32_t result, const std::string& failure_text) {
    Log(failure_text);
    Close();
    return result;
  }
  // The server refused a command: both sides of the exchange in the status bar.
  void ShowRefusal(const std::string& we_said, const std::string& they_said) const {
    ShowStatus("We said: " + we_said);
    ShowStatus("They said: " + they_said);
  }

  std::string ReadLine() { return channel->ReadLine(); }
  void Send(const std::string& command) { channel->SendText(command + kCrLf); }

 private:
  void Close() {
    if (channel != nullptr) channel->Close();
  }
  int slot_;
  std::string prefix_;
};

}  // namespace

bool IsPositiveReply(std::string_view line) {
  double code = std::trunc(text::ReadLeadingNumber(line.substr(0, 3)));
  return code >= 200 && code <= 299;
}

std::int32_t ProbeAddress(platform::Network& network, const std::string& mail_host, const std::string& from_text,
                          const std::string& address, int slot, const std::string& helo_name) {
  if (Shared().stop_flag.load() != 0) return kProbeStopped;
  Dialogue talk(slot);
  const std::string local_name = helo_name.empty() ? LocalHostName(network) : helo_name;

  talk.channel = OpenChannel(network, mail_host, "smtp", Shared().waits.smtp_wait_ms);
  if (talk.channel == nullptr) {
    talk.Log("Error connecting to mailhost");
    return talk.Fail(kProbeHostUnreachable, "Error connecting to mailhost");
  }
  talk.Activity("Connected to " + mail_host + " for " + address);
  talk.Log("Connected to " + mail_host + " for " + address);

  // Only the greeting is read to its last line; "220-" announces another.
  for (;;) {
    std::string line = talk.ReadLine();
    talk.Log(line);
    if (!IsPositiveReply(line)) return talk.Fail(kProbeHostUnreachable, line);
    if (line.size() < 4 || line[3] != '-') break;
  }
  if (talk.Stopped()) return talk.Stop();

  talk.Activity("Connected to " + mail_host + ": HELO");
  talk.Log("HELO");
  talk.Send("HELO " + local_name);
  std::string reply = talk.ReadLine();
  if (talk.Stopped()) return talk.Stop();
  talk.Log(reply);
  if (!IsPositiveReply(reply)) {
    talk.ShowRefusal("HELO " + local_name, reply);
    return talk.Fail(kProbeHostUnreachable, "HELO error: " + reply);
  }

  std::optional<std::string> sender = FindAddress(from_text);
  if (!sender) {
    talk.Log("Invalid FROM email address.");
    return talk.Fail(kProbeSenderRefused, "Invalid FROM email address.");
  }
  const std::string mail_from = "MAIL FROM: <" + *sender + ">";
  talk.Activity("Connected to " + mail_host + ": " + mail_from);
  talk.Send(mail_from);
  talk.Log(mail_from);
  reply = talk.ReadLine();
  if (talk.Stopped()) return talk.Stop();
  talk.Log(reply);
  if (!IsPositiveReply(reply)) {
    talk.ShowRefusal(mail_from, reply);
    return talk.Fail(kProbeSenderRefused, "MAIL FROM error: " + reply);
  }

  std::optional<std::string> recipient = FindAddress(address);
  if (!recipient) return talk.Fail(kProbeRecipientRefused, "Invalid TO email address");
  const std::string rcpt_to = "RCPT TO: <" + *recipient + ">";
  talk.Activity("Connected to " + mail_host + ": " + rcpt_to);
  talk.Send(rcpt_to);
  if (talk.Stopped()) return talk.Stop();
  talk.Log(rcpt_to);
  reply = talk.ReadLine();
  talk.Log(reply);
  if (!IsPositiveReply(reply)) {
    talk.ShowRefusal(rcpt_to, reply);
    return talk.Fail(kProbeRecipientRefused, "RCPT TO error: " + reply);
  }

  talk.Activity("Disconnecting " + mail_host);
  talk.Log("QUIT");
  talk.Send("QUIT");
  if (talk.Stopped()) return talk.Stop();
  // The server gets a moment to take the QUIT before the connection drops;
  // its answer is of no interest.
  platform::SleepMs(Shared().waits.quit_pause_ms);
  talk.channel->Close();
  return kProbeAccepted;
}

}  // namespace vantrel
