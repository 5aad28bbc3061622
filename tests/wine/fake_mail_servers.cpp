// The loopback servers the Wine tests run against, as one Linux program that
// run-wine-tests.sh starts inside the test namespace before Wine:
//   DNS on 127.0.0.1:53 with MX records whose exchanges are dotted loopback
//   texts, so no resolver is ever asked for them;
//   127.0.0.5:25 accepts every address, 127.0.0.7:25 refuses every
//   recipient, and 127.0.0.6:25 holds its greeting until something connects
//   to 127.0.0.6:2500, then accepts; held.test's MX, 127.0.0.8, is the Wine
//   driver's own.
// It touches <folder>/ready once listening, and on SIGTERM writes what each
// mail server received to <folder>/smtp-<address>.txt.
//   fake_mail_servers <folder>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>

#include "tests/support/dns_packet_builder.h"
#include "tests/support/loopback.h"

namespace {

using vantrel::testing::FakeDnsServer;
using vantrel::testing::FakeSmtpServer;
using vantrel::testing::LoopbackTcpServer;
using vantrel::testing::ServerConnection;

const vantrel::testing::MxZone kZones = {
    {"ok.test", {{10, "127.0.0.5"}}},
    {"bad.test", {{10, "127.0.0.7"}}},
    {"slow.test", {{10, "127.0.0.6"}}},
    {"pref.test", {{20, "127.0.0.7"}, {10, "127.0.0.5"}}},
    {"held.test", {{10, "127.0.0.8"}}},  // the Wine driver's own silent server
};

// Greetings wait here until a release; a release frees those waiting then.
class Gate {
 public:
  // False when no release came within the bound.
  bool Wait(std::chrono::seconds bound) {
    std::unique_lock<std::mutex> lock(mutex_);
    unsigned seen = generation_;
    return opened_.wait_for(lock, bound, [&] { return generation_ != seen; });
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
  FakeDnsServer dns("127.0.0.1", vantrel::testing::MxZoneResponder(kZones));
  FakeSmtpServer accepting("127.0.0.5", {"220 ok.test ready\r\n", "250 hello\r\n", "250 sender ok\r\n",
                                         "250 recipient ok\r\n", "221 bye\r\n"});
  FakeSmtpServer refusing("127.0.0.7", {"220 bad.test ready\r\n", "250 hello\r\n", "250 sender ok\r\n",
                                        "550 no such user here\r\n", "221 bye\r\n"});
  LoopbackTcpServer held("127.0.0.6", 25, [&gate](ServerConnection& connection) {
    // Longer than any scenario holds a task here, shorter than the program's
    // own minute; a connection nobody released is hung up on, and said so.
    if (!gate.Wait(std::chrono::seconds(50))) {
      std::fprintf(stderr, "fake_mail_servers: no release of 127.0.0.6 within 50 s; hanging up\n");
      return;
    }
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
