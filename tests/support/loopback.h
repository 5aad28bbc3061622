// Loopback addresses and servers for tests. Every fake server listens on
// 127.0.0.0/8 only, is listening before its constructor returns, and stops
// and joins in its destructor. Run the suites inside a private network
// namespace (tests/run-in-netns.sh) so that port 25 and port 53 are free.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vantrel::testing {

// 127.a.b.host, with a and b taken from the process id, so that test
// processes running side by side never share an address.
std::string LoopbackAddress(int host);

// A TCP connection as the server sees it. Every byte received is recorded.
class ServerConnection {
 public:
  ServerConnection(int fd, std::function<void(const std::string&)> record, const std::atomic<bool>& stopping)
      : fd_(fd), record_(std::move(record)), stopping_(stopping) {}
  // The next line up to and including its LF; false when the peer closed or
  // the server stops before a LF came.
  bool ReadLine(std::string* line);
  void Send(const std::string& bytes);
  // Reads and records until the peer closes.
  void DrainUntilClosed();
  void Close();

 private:
  bool Fill();
  int fd_;
  std::function<void(const std::string&)> record_;
  const std::atomic<bool>& stopping_;
  std::string pending_;
};

// Stopping waits for every connection's handler to return; a handler that
// is still busy 10 s later (blocked on something other than its connection)
// ends the process with a message instead of hanging the suite.
class LoopbackTcpServer {
 public:
  using Handler = std::function<void(ServerConnection&)>;
  LoopbackTcpServer(const std::string& address, std::uint16_t port, Handler handler);
  ~LoopbackTcpServer();
  LoopbackTcpServer(const LoopbackTcpServer&) = delete;
  LoopbackTcpServer& operator=(const LoopbackTcpServer&) = delete;

  bool listening() const { return listen_fd_ >= 0; }
  std::string Received();  // every byte of every connection, in arrival order
  int Connections() const;
  // Waits until count connections have been accepted; false when the bound
  // passed first.
  bool WaitForConnections(int count, int bound_ms = 10000);

 private:
  void AcceptLoop();
  Handler handler_;
  std::string address_;
  std::uint16_t port_;
  int listen_fd_ = -1;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::condition_variable changed_;  // a connection came or a handler returned
  int connections_ = 0;
  int busy_handlers_ = 0;
  std::string received_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

// An SMTP server that answers from a script: replies[0] is sent on connect
// (several lines for a multi-line greeting), then each line received is
// answered with the next reply. kSilent answers nothing; kHangUp closes the
// connection instead of answering. With the script used up it reads until
// the client closes.
class FakeSmtpServer {
 public:
  static constexpr char kSilent[] = "<silent>";
  static constexpr char kHangUp[] = "<hang up>";
  FakeSmtpServer(const std::string& address, std::vector<std::string> replies, std::uint16_t port = 25);
  const std::string& address() const { return address_; }
  std::string Received() { return server_.Received(); }
  int Connections() const { return server_.Connections(); }
  bool listening() const { return server_.listening(); }
  bool WaitForConnections(int count, int bound_ms = 10000) { return server_.WaitForConnections(count, bound_ms); }

 private:
  std::string address_;
  std::vector<std::string> replies_;
  LoopbackTcpServer server_;
};

// A UDP server on loopback. For each datagram the responder gives the reply,
// or nothing to stay silent. With reply_from_other_port the reply leaves
// from a second socket, so it comes from another port than the one asked;
// with a reply_from_address (loopback too) that socket is bound there, so the
// reply comes from another address as well. With a decoy, its datagram goes
// out first (from the second socket when there is one), and the responder's
// reply follows from the server's own socket.
class FakeDnsServer {
 public:
  using Responder = std::function<std::optional<std::string>(const std::string& query)>;
  FakeDnsServer(const std::string& address, Responder responder, std::uint16_t port = 53,
                bool reply_from_other_port = false, const std::string& reply_from_address = "",
                Responder decoy = nullptr);
  ~FakeDnsServer();
  FakeDnsServer(const FakeDnsServer&) = delete;
  FakeDnsServer& operator=(const FakeDnsServer&) = delete;

  bool listening() const { return fd_ >= 0; }
  std::vector<std::string> Queries();
  std::uint16_t port() const { return port_; }

 private:
  void Loop();
  Responder responder_;
  Responder decoy_;
  int fd_ = -1;
  int other_fd_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::vector<std::string> queries_;
  std::thread thread_;
};

}  // namespace vantrel::testing
