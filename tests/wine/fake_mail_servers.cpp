// The loopback servers the Wine tests run against, as one Linux program that
// run-wine-tests.sh starts inside the test namespace before Wine:
//   DNS on 127.0.0.1:53 with MX records whose exchanges are dotted loopback
//   texts, so no resolver is ever asked for them;
//   127.0.0.5:25 accepts every address, 127.0.0.7:25 refuses every
//   recipient, and 127.0.0.6:25 holds its greeting until something connects
//   to 127.0.0.6:2500, then accepts.
// It touches <folder>/ready once listening, and on SIGTERM writes what each
// mail server received to <folder>/smtp-<address>.txt.
//   fake_mail_servers <folder>
#include <signal.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/loopback.h"

namespace {

using vantrel::testing::FakeDnsServer;
using vantrel::testing::FakeSmtpServer;
using vantrel::testing::LoopbackTcpServer;
using vantrel::testing::ServerConnection;

struct Exchange {
  int preference;
  const char* host;
};

const std::map<std::string, std::vector<Exchange>> kZones = {
    {"ok.test", {{10, "127.0.0.5"}}},
    {"bad.test", {{10, "127.0.0.7"}}},
    {"slow.test", {{10, "127.0.0.6"}}},
    {"pref.test", {{20, "127.0.0.7"}, {10, "127.0.0.5"}}},
};

void PutShort(std::string& out, unsigned value) {
  out += static_cast<char>((value >> 8) & 0xFF);
  out += static_cast<char>(value & 0xFF);
}

std::string EncodeName(const std::string& name) {
  std::string out;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t dot = name.find('.', start);
    if (dot == std::string::npos) dot = name.size();
    out += static_cast<char>(dot - start);
    out += name.substr(start, dot - start);
    start = dot + 1;
  }
  return out + '\0';
}

// The question's name in dotted form, and where the question ends; nullopt
// for a query we do not understand.
std::optional<std::pair<std::string, std::size_t>> ReadQuestion(const std::string& query) {
  std::size_t at = 12;
  std::string name;
  while (at < query.size()) {
    auto length = static_cast<unsigned char>(query[at++]);
    if (length == 0) {
      if (at + 4 > query.size()) return std::nullopt;
      return std::make_pair(name, at + 4);
    }
    if (length > 63 || at + length > query.size()) return std::nullopt;
    if (!name.empty()) name += '.';
    name += query.substr(at, length);
    at += length;
  }
  return std::nullopt;
}

std::optional<std::string> AnswerMx(const std::string& query) {
  auto question = ReadQuestion(query);
  if (!question) return std::nullopt;
  auto zone = kZones.find(question->first);
  std::string reply = query.substr(0, 2);          // ID
  PutShort(reply, zone == kZones.end() ? 0x8183 : 0x8180);  // response, RD, RA; NXDOMAIN when unknown
  PutShort(reply, 1);                              // QDCOUNT
  PutShort(reply, zone == kZones.end() ? 0 : static_cast<unsigned>(zone->second.size()));  // ANCOUNT
  PutShort(reply, 0);                              // NSCOUNT
  PutShort(reply, 0);                              // ARCOUNT
  reply += query.substr(12, question->second - 12);
  if (zone != kZones.end()) {
    for (const Exchange& exchange : zone->second) {
      std::string data;
      PutShort(data, static_cast<unsigned>(exchange.preference));
      data += EncodeName(exchange.host);
      PutShort(reply, 0xC00C);  // the question's name
      PutShort(reply, 15);      // MX
      PutShort(reply, 1);       // IN
      PutShort(reply, 0);
      PutShort(reply, 3600);    // TTL
      PutShort(reply, static_cast<unsigned>(data.size()));
      reply += data;
    }
  }
  return reply;
}

// Greetings wait here until a release; a release frees those waiting then.
class Gate {
 public:
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    unsigned seen = generation_;
    opened_.wait(lock, [&] { return generation_ != seen; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++generation_;
    opened_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  unsigned generation_ = 0;
};

void AcceptingDialogue(ServerConnection& connection, const char* greeting) {
  connection.Send(greeting);
  const char* replies[] = {"250 hello\r\n", "250 sender ok\r\n", "250 recipient ok\r\n", "221 bye\r\n"};
  std::string line;
  for (const char* reply : replies) {
    if (!connection.ReadLine(&line)) return;
    connection.Send(reply);
  }
  connection.DrainUntilClosed();
}

void WriteTranscript(const std::string& folder, const std::string& address, const std::string& bytes) {
  std::ofstream(folder + "/smtp-" + address + ".txt", std::ios::binary) << bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  std::string folder = argv[1];
  // Every thread inherits the mask, so only sigwait below sees SIGTERM.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  Gate gate;
  FakeDnsServer dns("127.0.0.1", AnswerMx);
  FakeSmtpServer accepting("127.0.0.5", {"220 ok.test ready\r\n", "250 hello\r\n", "250 sender ok\r\n",
                                         "250 recipient ok\r\n", "221 bye\r\n"});
  FakeSmtpServer refusing("127.0.0.7", {"220 bad.test ready\r\n", "250 hello\r\n", "250 sender ok\r\n",
                                        "550 no such user here\r\n", "221 bye\r\n"});
  LoopbackTcpServer held("127.0.0.6", 25, [&gate](ServerConnection& connection) {
    gate.Wait();
    AcceptingDialogue(connection, "220 slow.test ready at last\r\n");
  });
  LoopbackTcpServer release("127.0.0.6", 2500, [&gate](ServerConnection&) { gate.Release(); });
  if (!dns.listening() || !accepting.listening() || !refusing.listening() || !held.listening() ||
      !release.listening()) {
    std::fprintf(stderr, "fake_mail_servers: cannot listen (run inside the test namespace)\n");
    return 1;
  }
  std::ofstream(folder + "/ready") << "ready\n";

  int signal_number = 0;
  sigwait(&stop, &signal_number);
  WriteTranscript(folder, "127.0.0.5", accepting.Received());
  WriteTranscript(folder, "127.0.0.7", refusing.Received());
  WriteTranscript(folder, "127.0.0.6", held.Received());
  std::fflush(nullptr);
  // Held connections may still wait at the gate; leave without joining them.
  _exit(0);
}
