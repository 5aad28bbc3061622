// A small mail world on loopback for the demo: one DNS server and a few
// SMTP servers, built from the test suites' fake servers. Run it inside a
// private network namespace (tests/run-in-netns.sh): it binds port 53 of
// 127.0.0.1 and port 25 of 127.0.0.2 to 127.0.0.4.
//
//   good.example     MX 10 127.0.0.2 (mailboxes alice, bob, carol, heidi;
//                    every other recipient gets 550), MX 20 127.0.0.3 (a
//                    backup that is never the preferred host)
//   closed.example   MX 10 127.0.0.4, which refuses every session at once
//   down.example     MX 10 127.0.0.9, where nothing listens
//   nomail.example   exists, but has no MX record
//   anything else    does not exist (NXDOMAIN)
//
// Prints "ready" once every server listens, then serves until SIGINT or
// SIGTERM, and at the end prints what each SMTP server was told.
#include <signal.h>

#include <cctype>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/loopback.h"
#include "tests/support/dns_packet_builder.h"

namespace {

using vantrel::testing::FakeDnsServer;
using vantrel::testing::FakeSmtpServer;
using vantrel::testing::LoopbackTcpServer;
using vantrel::testing::MxAnswer;
using vantrel::testing::ServerConnection;

constexpr int kNameError = 3;

std::optional<std::string> Answer(const std::string& query) {
  static const std::map<std::string, std::vector<MxAnswer>> kZones = {
      {"good.example", {{20, "127.0.0.3"}, {10, "127.0.0.2"}}},
      {"closed.example", {{10, "127.0.0.4"}}},
      {"down.example", {{10, "127.0.0.9"}}},
      {"nomail.example", {}},
  };
  // Domain names are not case-sensitive: Carol@Good.Example has a mail host too.
  std::string name = vantrel::testing::QuestionName(query);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto zone = kZones.find(name);
  if (zone == kZones.end()) return vantrel::testing::ErrorReplyFor(query, kNameError);
  return vantrel::testing::MxReplyFor(query, zone->second);
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The mail host of good.example: knows its mailboxes and says so at RCPT TO.
void ServeMailboxes(ServerConnection& connection) {
  static const std::set<std::string> kMailboxes = {"alice", "bob", "carol", "heidi"};
  connection.Send("220 mx.good.example ESMTP demo\r\n");
  std::string line;
  while (connection.ReadLine(&line)) {
    std::string command = Upper(line.substr(0, 4));
    if (command == "HELO") {
      connection.Send("250 mx.good.example\r\n");
    } else if (command == "MAIL") {
      connection.Send("250 2.1.0 Sender OK\r\n");
    } else if (command == "RCPT") {
      std::size_t open = line.find('<');
      std::size_t at = line.find('@', open == std::string::npos ? 0 : open);
      std::string local = open == std::string::npos || at == std::string::npos
                              ? std::string()
                              : line.substr(open + 1, at - open - 1);
      for (char& c : local) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (kMailboxes.count(local) != 0) {
        connection.Send("250 2.1.5 Recipient OK\r\n");
      } else {
        connection.Send("550 5.1.1 Recipient address rejected: User unknown\r\n");
      }
    } else if (command == "QUIT") {
      connection.Send("221 2.0.0 Bye\r\n");
      return;
    } else {
      connection.Send("502 5.5.2 Command not recognized\r\n");
    }
  }
}

void PrintTranscript(const char* title, const std::string& received) {
  std::printf("--- %s\n", title);
  std::string shown;
  for (char c : received) {
    if (c == '\r') continue;
    shown += c;
  }
  std::printf("%s", shown.empty() ? "(nothing)\n" : shown.c_str());
}

}  // namespace

int main() {
  // Blocked before any server thread starts, so only sigwait below sees them.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  FakeDnsServer dns("127.0.0.1", Answer);
  LoopbackTcpServer mailboxes("127.0.0.2", 25, ServeMailboxes);
  FakeSmtpServer backup("127.0.0.3", {"421 4.3.2 backup.good.example not accepting mail\r\n"});
  FakeSmtpServer closed("127.0.0.4", {"554 5.3.2 closed.example does not take mail\r\n"});
  if (!dns.listening() || !mailboxes.listening() || !backup.listening() || !closed.listening()) {
    std::fprintf(stderr, "demo_world: cannot listen on 127.0.0.1:53 and 127.0.0.2-4:25 "
                         "(run it inside tests/run-in-netns.sh)\n");
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);

  int signal_number = 0;
  sigwait(&stop, &signal_number);

  std::printf("\nWhat the mail servers were told (no DATA, no message, ever):\n");
  PrintTranscript("127.0.0.2, mail host of good.example", mailboxes.Received());
  PrintTranscript("127.0.0.3, backup MX of good.example (lower priority, never asked)", backup.Received());
  PrintTranscript("127.0.0.4, mail host of closed.example", closed.Received());
  std::printf("--- DNS queries answered by 127.0.0.1: %zu\n", dns.Queries().size());
  std::fflush(stdout);
  return 0;
}
