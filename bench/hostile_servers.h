// Mail servers that misbehave on purpose, for the stop benchmark. Unlike the
// scripted fakes in tests/support, each handler owns its socket, so that it
// can tell a client that has gone (a failed send) from one that only reads
// slowly, and count what it has handed to the kernel. Loopback only; every
// server listens before its constructor returns and joins in its destructor.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vantrel::bench {

inline sockaddr_in Endpoint(const std::string& address, std::uint16_t port) {
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &at.sin_addr);
  return at;
}

// Sends all of bytes, waiting in short slices so that a stopping server is
// noticed; false once the client has gone or the server stops.
inline bool SendAll(int fd, const std::string& bytes, const std::atomic<bool>& stopping) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    if (stopping.load()) return false;
    pollfd entry{fd, POLLOUT, 0};
    int ready = ::poll(&entry, 1, 50);
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    if ((entry.revents & (POLLERR | POLLHUP)) != 0) return false;
    ssize_t put = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (put < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

// Sleeps ms in slices; false as soon as the server stops.
inline bool PauseUnlessStopping(int ms, const std::atomic<bool>& stopping) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until) {
    if (stopping.load()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return !stopping.load();
}

class RawServer {
 public:
  using Handler = std::function<void(int fd, const std::atomic<bool>& stopping)>;

  RawServer(const std::string& address, std::uint16_t port, Handler handler) : handler_(std::move(handler)) {
    if (address.rfind("127.", 0) != 0) return;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in at = Endpoint(address, port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(fd, 64) != 0) {
      ::close(fd);
      return;
    }
    listen_fd_ = fd;
    acceptor_ = std::thread([this] { AcceptLoop(); });
  }
  ~RawServer() {
    stopping_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& worker : workers_) worker.join();
    if (listen_fd_ >= 0) ::close(listen_fd_);
  }
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  bool listening() const { return listen_fd_ >= 0; }
  int connections() const { return connections_.load(); }

 private:
  void AcceptLoop() {
    while (!stopping_.load()) {
      pollfd entry{listen_fd_, POLLIN, 0};
      if (::poll(&entry, 1, 20) <= 0) continue;
      int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      ++connections_;
      std::lock_guard<std::mutex> lock(mutex_);
      workers_.emplace_back([this, fd] {
        handler_(fd, stopping_);
        ::close(fd);
      });
    }
  }
  Handler handler_;
  int listen_fd_ = -1;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::mutex mutex_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

// Greets with "220-" continuation lines of line_bytes (CR LF included) as
// fast as the client takes them, and never with a last line.
class EndlessGreetingServer {
 public:
  explicit EndlessGreetingServer(const std::string& address, std::size_t line_bytes = 78, std::uint16_t port = 25)
      : server_(address, port, [this, line_bytes](int fd, const std::atomic<bool>& stopping) {
          std::string line = "220-" + std::string(line_bytes > 6 ? line_bytes - 6 : 0, 'x') + "\r\n";
          std::string chunk;
          while (chunk.size() < 64 * 1024) chunk += line;
          while (SendAll(fd, chunk, stopping)) sent_ += chunk.size();
        }) {}
  bool listening() const { return server_.listening(); }
  int connections() const { return server_.connections(); }
  std::uint64_t sent() const { return sent_.load(); }

 private:
  std::atomic<std::uint64_t> sent_{0};
  RawServer server_;  // last: its handlers use sent_
};

// Sends its greeting one byte every pause_ms, well inside a per-byte wait.
class TrickleServer {
 public:
  TrickleServer(const std::string& address, int pause_ms, std::uint16_t port = 25)
      : server_(address, port, [this, pause_ms](int fd, const std::atomic<bool>& stopping) {
          const std::string greeting = "220 slowly\r\n";
          for (std::size_t i = 0;; ++i) {
            if (!SendAll(fd, greeting.substr(i % greeting.size(), 1), stopping)) return;
            ++sent_;
            if (!PauseUnlessStopping(pause_ms, stopping)) return;
          }
        }) {}
  bool listening() const { return server_.listening(); }
  int sent() const { return sent_.load(); }

 private:
  std::atomic<int> sent_{0};
  RawServer server_;
};

// A listener with a backlog of 0 that never accepts, its queue filled by two
// connections of its own: further SYNs are dropped, so a connect to it stays
// open (unanswered) until the client gives up.
class UnansweredListener {
 public:
  explicit UnansweredListener(const std::string& address, std::uint16_t port = 25) {
    if (address.rfind("127.", 0) != 0) return;
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    at_ = Endpoint(address, port);
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&at_), sizeof at_) != 0 || ::listen(listen_fd_, 0) != 0) {
      ::close(listen_fd_);
      listen_fd_ = -1;
      return;
    }
    for (int i = 0; i < 2; ++i) fillers_.push_back(StartConnect());
  }
  ~UnansweredListener() {
    for (int fd : fillers_) ::close(fd);
    if (listen_fd_ >= 0) ::close(listen_fd_);
  }
  UnansweredListener(const UnansweredListener&) = delete;
  UnansweredListener& operator=(const UnansweredListener&) = delete;

  bool listening() const { return listen_fd_ >= 0; }

  // True when a further connect is still unanswered after wait_ms: the
  // kernel drops SYNs to a full queue as assumed.
  bool ConnectHangs(int wait_ms) {
    int fd = StartConnect();
    pollfd entry{fd, POLLOUT, 0};
    int ready = ::poll(&entry, 1, wait_ms);
    ::close(fd);
    return ready == 0;
  }

 private:
  int StartConnect() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    ::connect(fd, reinterpret_cast<sockaddr*>(&at_), sizeof at_);
    return fd;
  }
  int listen_fd_ = -1;
  sockaddr_in at_{};
  std::vector<int> fillers_;
};

}  // namespace vantrel::bench
