// Runs the whole SMTP dialogue of one probe against a server whose side is
// the given bytes, and checks what must hold whatever a server sends. Shared
// by the fuzzer and the test suite that replays its corpus.
//
// Input: byte 0 is the size of each piece the server's bytes arrive in (0:
// all at once), bit 0 of byte 1 says how the server ends once its bytes are
// spent (0: it closes, 1: it falls silent), bit 1 that the connection goes
// through a SOCKS5 proxy, whose replies then come first; the rest is what
// the server sends.
// Nothing leaves the process: the connection is an in-memory stream and every
// lookup is answered here.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/network.h"
#include "probe/line_channel.h"
#include "probe/proxied_network.h"
#include "probe/shared_state.h"
#include "probe/smtp_probe.h"

namespace vantrel::fuzz {

inline constexpr char kFuzzHelo[] = "fuzz.example";
inline constexpr char kFuzzFromText[] = "Fuzz <fuzz@example.com>";
inline constexpr char kFuzzAddress[] = "someone@example.org";
inline constexpr std::size_t kMaxLogGrowth = 1024 * 1024;

// The commands a probe may send, in the only order it may send them.
inline const std::vector<std::string>& ProbeCommands() {
  static const std::vector<std::string> commands = {
      std::string("HELO ") + kFuzzHelo,
      "MAIL FROM: <fuzz@example.com>",
      std::string("RCPT TO: <") + kFuzzAddress + ">",
      "QUIT",
  };
  return commands;
}

struct ServerRecord {
  std::string sent;  // every byte the client sent
  int connections = 0;
};

// Serves the server's bytes in pieces and records what the client sends.
class ServedStream : public platform::ByteStream {
 public:
  ServedStream(std::string bytes, std::size_t piece, bool falls_silent, std::shared_ptr<ServerRecord> record)
      : bytes_(std::move(bytes)), piece_(piece), falls_silent_(falls_silent), record_(std::move(record)) {}

  platform::IoResult Receive(char* buffer, std::size_t size, int) override {
    if (next_ == bytes_.size()) {
      return {falls_silent_ ? platform::IoStatus::kTimeout : platform::IoStatus::kClosed, 0};
    }
    std::size_t n = std::min({size, piece_, bytes_.size() - next_});
    std::memcpy(buffer, bytes_.data() + next_, n);
    next_ += n;
    return {platform::IoStatus::kOk, n};
  }
  platform::IoResult Send(const char* data, std::size_t size, int) override {
    record_->sent.append(data, size);
    return {platform::IoStatus::kOk, size};
  }

 private:
  std::string bytes_;
  std::size_t next_ = 0;
  std::size_t piece_;
  bool falls_silent_;
  std::shared_ptr<ServerRecord> record_;
};

// Every host is 127.0.0.1, "smtp" is port 25, and the one connection is the
// served stream.
class ServedNetwork : public platform::SystemNetwork {
 public:
  ServedNetwork(std::string bytes, std::size_t piece, bool falls_silent)
      : bytes_(std::move(bytes)), piece_(piece), falls_silent_(falls_silent) {}
  std::shared_ptr<ServerRecord> record = std::make_shared<ServerRecord>();

  bool StartSockets() override { return true; }
  void StopSockets() override {}
  bool LookupService(const std::string&, const char*, std::uint16_t* port) override {
    *port = 25;
    return true;
  }
  bool ResolveHost(const std::string&, std::uint32_t* address) override {
    *address = 0x0100007F;
    return true;
  }
  bool ReverseLookup(std::uint32_t, std::string* name) override {
    *name = kFuzzHelo;
    return true;
  }
  std::string HostName() override { return kFuzzHelo; }
  bool FirstLocalAddress(std::uint32_t* address) override {
    *address = 0x0100007F;
    return true;
  }
  std::unique_ptr<platform::ByteStream> ConnectTcp(std::uint32_t, std::uint16_t, int,
                                                   const std::function<bool()>&) override {
    ++record->connections;
    return std::make_unique<ServedStream>(bytes_, piece_, falls_silent_, record);
  }
  std::unique_ptr<platform::DatagramSocket> OpenUdp(int) override { return nullptr; }

 private:
  std::string bytes_;
  std::size_t piece_;
  bool falls_silent_;
};

// What a client must send a proxy socks5://fuzz:pw@...: both methods it
// can do, the credentials if asked, then a CONNECT to mx.example.org's
// address (127.0.0.1 here) and port 25.
inline const std::string kSocksGreeting("\x05\x02\x00\x02", 4);
inline const std::string kSocksCredentials = std::string("\x01\x04", 2) + "fuzz" + "\x02" + "pw";
inline const std::string kSocksConnect("\x05\x01\x00\x01\x7f\x00\x00\x01\x00\x19", 10);

// Checks the SOCKS5 part of both sides: each request only after a reply that
// allows it, SMTP only once the CONNECT reply was whole and a success. Sets
// where the dialogue begins on each side, or leaves *served_at 0 when the
// client never got that far.
inline std::string CheckSocks(const std::string& served, const std::string& sent, std::size_t* served_at,
                              std::size_t* sent_at) {
  auto byte = [&served](std::size_t at) { return at < served.size() ? static_cast<std::uint8_t>(served[at]) : 0x100; };
  std::size_t in = 2;
  std::size_t out = kSocksGreeting.size();
  // With the product's deadline cut to a millisecond, a client may give up before it says anything.
  if (!sent.empty() && sent.compare(0, out, kSocksGreeting) != 0) return "did not greet the proxy first";
  if (sent.size() <= out) return std::string();
  if (byte(0) != 5 || (byte(1) != 0 && byte(1) != 2)) return "went on after a method reply that allowed nothing";
  if (byte(1) == 2) {
    if (sent.compare(out, kSocksCredentials.size(), kSocksCredentials) != 0) return "sent other credentials";
    out += kSocksCredentials.size();
    if (sent.size() == out) return std::string();
    if (byte(2) != 1 || byte(3) != 0) return "went on though the credentials were refused";
    in = 4;
  }
  if (sent.compare(out, kSocksConnect.size(), kSocksConnect) != 0) return "asked the proxy for another host";
  out += kSocksConnect.size();
  if (sent.size() == out) return std::string();
  if (byte(in) != 5 || byte(in + 1) != 0) return "talked SMTP without a successful CONNECT reply";
  const unsigned type = byte(in + 3);
  const std::size_t bound = type == 1 ? 4 : type == 4 ? 16 : type == 3 && byte(in + 4) < 0x100 ? 1 + byte(in + 4) : 0;
  if (bound == 0 || served.size() < in + 6 + bound) return "talked SMTP before a whole CONNECT reply";
  *served_at = in + 6 + bound;
  *sent_at = out;
  return std::string();
}

// The server's replies as a server means them: lines end at LF (CRs
// dropped, a last line may lack its LF), and a reply runs on while its
// lines have "-" as their fourth character. Reply 0 is the greeting, reply
// n the answer to the n-th command.
inline std::vector<std::vector<std::string>> ServerReplies(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : bytes) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (c != '\r') {
      line.push_back(c);
    }
  }
  if (!line.empty()) lines.push_back(line);
  std::vector<std::vector<std::string>> replies;
  bool open = false;
  for (const std::string& l : lines) {
    if (!open) replies.emplace_back();
    replies.back().push_back(l);
    open = l.size() >= 4 && l[3] == '-';
  }
  return replies;
}

// Empty when the dialogue behaved, else what went wrong.
inline std::string CheckDialogue(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return std::string();
  std::size_t piece = data[0] == 0 ? static_cast<std::size_t>(-1) : data[0];
  bool falls_silent = (data[1] & 1) != 0;
  bool through_proxy = (data[1] & 2) != 0;
  std::string served(reinterpret_cast<const char*>(data) + 2, size - 2);

  SharedState& shared = Shared();
  const Waits saved_waits = shared.waits;
  const bool saved_found = shared.dialog_found.exchange(false);
  shared.waits.smtp_wait_ms = 1;
  shared.waits.quit_pause_ms = 0;
  shared.stop_flag = 0;
  const std::string saved_log = TakeLogBuffer();
  ForgetRefusalsOfUs();  // a refusal of the last input must not keep this one from connecting

  ServedNetwork network(served, piece, falls_silent);
  ProxiedNetwork proxied(network, *ParseProxyUrl("socks5://fuzz:pw@proxy.example:1080").proxy, 3);
  platform::Network& route = through_proxy ? static_cast<platform::Network&>(proxied) : network;
  std::int32_t result = ProbeAddress(route, "mx.example.org", kFuzzFromText, kFuzzAddress, 3, kFuzzHelo);
  const std::size_t log_growth = TakeLogBuffer().size();

  shared.waits = saved_waits;
  shared.dialog_found = saved_found;
  {
    platform::MutexLock lock(shared.log_mutex);
    shared.log_buffer = saved_log;
  }

  if (result < kProbeAccepted || result > kProbeMailboxFull) {
    return "unknown probe result " + std::to_string(result);
  }
  // Through a proxy, opening the connection shares the millisecond with the whole exchange.
  const int connections = network.record->connections;
  if (connections != 1 && !(through_proxy && connections == 0)) {
    return "connected " + std::to_string(connections) + " times";
  }
  if (log_growth >= kMaxLogGrowth) return "the log grew by " + std::to_string(log_growth) + " bytes";

  std::size_t served_at = 0;
  std::size_t sent_at = 0;
  if (through_proxy) {
    std::string fault = CheckSocks(served, network.record->sent, &served_at, &sent_at);
    if (!fault.empty()) return fault;
    if (served_at == 0) return result == kProbeHostUnreachable ? "" : "no tunnel, yet result " + std::to_string(result);
    served.erase(0, served_at);
  }

  // What was sent: whole CR LF lines, each the next of the four commands.
  const std::string sent = network.record->sent.substr(sent_at);
  std::size_t commands_sent = 0;
  for (std::size_t at = 0; at < sent.size();) {
    std::size_t end = sent.find("\r\n", at);
    if (end == std::string::npos) return "a command without CR LF: \"" + sent.substr(at) + "\"";
    std::string line = sent.substr(at, end - at);
    if (commands_sent == ProbeCommands().size() || line != ProbeCommands()[commands_sent]) {
      return "sent \"" + line + "\" as command " + std::to_string(commands_sent + 1);
    }
    ++commands_sent;
    at = end + 2;
  }

  // The channel hands a line of more than this in pieces, which the model
  // below does not; inputs that long are only checked for the above.
  if (served.size() >= LineChannel::kMaxLineInput) return std::string();

  // Each command, and an acceptance, follows a positive last line of the
  // reply before it.
  const std::vector<std::vector<std::string>> replies = ServerReplies(served);
  auto positive = [&](std::size_t reply) { return reply < replies.size() && IsPositiveReply(replies[reply].back()); };
  for (std::size_t command = 0; command < commands_sent; ++command) {
    if (!positive(command)) {
      return "sent \"" + ProbeCommands()[command] + "\" after a reply that was not positive";
    }
  }
  if (result == kProbeAccepted) {
    if (commands_sent < 3) return "accepted without RCPT TO";
    if (!positive(3)) return "accepted though the last reply line to RCPT TO was not positive";
  }
  // A refusal read for what it is about is always a whole 5xx to RCPT TO.
  if (result >= kProbeRecipientRefused && result != kProbeRecipientDeferred && commands_sent == 3) {
    if (replies.size() < 4 || replies[3].back().rfind('5', 0) != 0) {
      return "result " + std::to_string(result) + " without a 5xx reply to RCPT TO";
    }
  }
  return std::string();
}

}  // namespace vantrel::fuzz
