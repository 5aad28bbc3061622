#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vantrel::testing {

namespace {

sockaddr_in Endpoint(const std::string& address, std::uint16_t port) {
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &at.sin_addr);
  return at;
}

bool IsLoopback(const std::string& address) { return address.rfind("127.", 0) == 0; }

// How long a stopping server waits for its connection handlers.
constexpr std::chrono::seconds kStopBound{10};
// How long one send may wait for a client that does not read.
constexpr std::chrono::seconds kSendBound{5};

// Waits for fd to become readable in short steps so a stopping server is noticed.
bool WaitReadable(int fd, const std::atomic<bool>& stopping) {
  while (!stopping.load()) {
    pollfd entry{fd, POLLIN, 0};
    int ready = ::poll(&entry, 1, 20);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
  return false;
}

}  // namespace

std::string LoopbackAddress(int host) {
  unsigned pid = static_cast<unsigned>(::getpid());
  return "127." + std::to_string(1 + (pid >> 8) % 250) + "." + std::to_string(pid % 256) + "." +
         std::to_string(host);
}

bool ServerConnection::Fill() {
  if (!WaitReadable(fd_, stopping_)) return false;
  char buffer[4096];
  ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
  if (got <= 0) return false;
  std::string chunk(buffer, static_cast<std::size_t>(got));
  record_(chunk);
  pending_ += chunk;
  return true;
}

bool ServerConnection::ReadLine(std::string* line) {
  for (;;) {
    std::size_t lf = pending_.find('\n');
    if (lf != std::string::npos) {
      *line = pending_.substr(0, lf + 1);
      pending_.erase(0, lf + 1);
      return true;
    }
    if (!Fill()) return false;
  }
}

void ServerConnection::Send(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t put = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (put <= 0) return;
    done += static_cast<std::size_t>(put);
  }
}

void ServerConnection::DrainUntilClosed() {
  while (Fill()) {
  }
}

void ServerConnection::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

LoopbackTcpServer::LoopbackTcpServer(const std::string& address, std::uint16_t port, Handler handler)
    : handler_(std::move(handler)), address_(address), port_(port) {
  if (!IsLoopback(address)) return;  // never listen anywhere else
  // Non-blocking, so that a connection gone between poll and accept cannot
  // hold the acceptor.
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in at = Endpoint(address, port);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(fd, 16) != 0) {
    ::close(fd);
    return;
  }
  listen_fd_ = fd;
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackTcpServer::~LoopbackTcpServer() {
  stopping_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, kStopBound, [this] { return busy_handlers_ == 0; })) {
      std::fprintf(stderr,
                   "loopback server %s:%u: %d connection handler(s) still busy %lld s after the stop; "
                   "a handler waits on something other than its connection\n",
                   address_.c_str(), static_cast<unsigned>(port_), busy_handlers_,
                   static_cast<long long>(kStopBound.count()));
      std::abort();
    }
  }
  for (auto& worker : workers_) worker.join();
  if (listen_fd_ >= 0) ::close(listen_fd_);
}

void LoopbackTcpServer::AcceptLoop() {
  while (WaitReadable(listen_fd_, stopping_)) {
    int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    // A client that stops reading cannot hold a handler's Send for ever.
    timeval send_bound{static_cast<time_t>(kSendBound.count()), 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &send_bound, sizeof send_bound);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++connections_;
      ++busy_handlers_;
      changed_.notify_all();
    }
    workers_.emplace_back([this, fd] {
      ServerConnection connection(
          fd,
          [this](const std::string& bytes) {
            std::lock_guard<std::mutex> lock(mutex_);
            received_ += bytes;
          },
          stopping_);
      handler_(connection);
      connection.Close();
      std::lock_guard<std::mutex> lock(mutex_);
      --busy_handlers_;
      changed_.notify_all();
    });
  }
}

std::string LoopbackTcpServer::Received() {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

int LoopbackTcpServer::Connections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connections_;
}

bool LoopbackTcpServer::WaitForConnections(int count, int bound_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(bound_ms), [&] { return connections_ >= count; });
}

FakeSmtpServer::FakeSmtpServer(const std::string& address, std::vector<std::string> replies, std::uint16_t port)
    : address_(address), replies_(std::move(replies)), server_(address, port, [this](ServerConnection& connection) {
        std::size_t next = 0;
        auto answer = [&]() -> bool {
          if (next >= replies_.size()) return true;
          const std::string& reply = replies_[next++];
          if (reply == kHangUp) return false;
          if (reply != kSilent) connection.Send(reply);
          return true;
        };
        if (!answer()) return;
        std::string line;
        while (next < replies_.size() && connection.ReadLine(&line)) {
          if (!answer()) return;
        }
        connection.DrainUntilClosed();
      }) {}

FakeDnsServer::FakeDnsServer(const std::string& address, Responder responder, std::uint16_t port,
                             bool reply_from_other_port, const std::string& reply_from_address, Responder decoy)
    : responder_(std::move(responder)), decoy_(std::move(decoy)) {
  if (!IsLoopback(address)) return;
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in at = Endpoint(address, port);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
    ::close(fd);
    return;
  }
  socklen_t size = sizeof at;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &size);
  port_ = ntohs(at.sin_port);
  if (!reply_from_address.empty() && !IsLoopback(reply_from_address)) {
    ::close(fd);
    return;
  }
  if (reply_from_other_port || !reply_from_address.empty()) {
    other_fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in other = Endpoint(reply_from_address.empty() ? address : reply_from_address, 0);
    ::bind(other_fd_, reinterpret_cast<sockaddr*>(&other), sizeof other);
  }
  fd_ = fd;
  thread_ = std::thread([this] { Loop(); });
}

FakeDnsServer::~FakeDnsServer() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) ::close(fd_);
  if (other_fd_ >= 0) ::close(other_fd_);
}

void FakeDnsServer::Loop() {
  while (WaitReadable(fd_, stopping_)) {
    char buffer[65536];
    sockaddr_in from{};
    socklen_t from_size = sizeof from;
    ssize_t got = ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &from_size);
    if (got < 0) continue;
    std::string query(buffer, static_cast<std::size_t>(got));
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queries_.push_back(query);
    }
    int other = other_fd_ >= 0 ? other_fd_ : fd_;
    if (decoy_) {
      if (std::optional<std::string> decoy = decoy_(query)) {
        ::sendto(other, decoy->data(), decoy->size(), 0, reinterpret_cast<sockaddr*>(&from), from_size);
      }
    }
    std::optional<std::string> reply = responder_(query);
    if (!reply) continue;
    int out = decoy_ ? fd_ : other;
    ::sendto(out, reply->data(), reply->size(), 0, reinterpret_cast<sockaddr*>(&from), from_size);
  }
}

std::vector<std::string> FakeDnsServer::Queries() {
  std::lock_guard<std::mutex> lock(mutex_);
  return queries_;
}

}  // namespace vantrel::testing
