#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/file.h"

namespace vantrel::platform {

namespace {

// A descriptor with an exclusive lock: two runs of the program never share a
// file. Locks are advisory here; Windows enforces them.
class PosixFile final : public ReadableFile, public WritableFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  long Read(char* buffer, std::size_t size) override {
    ssize_t got;
    do {
      got = ::read(fd_, buffer, size);
    } while (got < 0 && errno == EINTR);
    return static_cast<long>(got);
  }

  bool Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      ssize_t put = ::write(fd_, bytes.data(), bytes.size());
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
  }

  bool Rewind() override { return ::lseek(fd_, 0, SEEK_SET) == 0; }

  std::int64_t Length() override {
    struct stat info{};
    return ::fstat(fd_, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
  }

  // ftruncate leaves the offset where it was: without the seek the next
  // write would leave a hole of zero bytes.
  bool CutTo(std::int64_t length) override {
    int rc;
    do {
      rc = ::ftruncate(fd_, static_cast<off_t>(length));
    } while (rc != 0 && errno == EINTR);
    return rc == 0 && ::lseek(fd_, static_cast<off_t>(length), SEEK_SET) == static_cast<off_t>(length);
  }

 private:
  int fd_;
};

// Another program's hold on a file is asked after again at this interval.
constexpr auto kLockRetryStep = std::chrono::milliseconds(20);

bool LockWithin(int fd, int lock_wait_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(lock_wait_ms);
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return false;
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kLockRetryStep, deadline - now));
  }
}

// Opened without blocking and looked at before use: a pipe with no reader
// would otherwise hold open() forever, and one with a reader would swallow
// the text.
int OpenLocked(const std::string& name, int flags, int lock_wait_ms = 0) {
  int fd;
  do {
    fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat info{};
  int status = ::fcntl(fd, F_GETFL);
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || status < 0 ||
      ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0 || !LockWithin(fd, lock_wait_ms)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

class PosixFileSystem final : public FileSystem {
 public:
  bool IsPlainFile(const std::string& name) override {
    struct stat info{};
    return ::stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode);
  }

  std::int64_t FileSize(const std::string& name) override {
    struct stat info{};
    if (::stat(name.c_str(), &info) != 0) return -1;
    return static_cast<std::int64_t>(info.st_size);
  }

  std::unique_ptr<ReadableFile> OpenRead(const std::string& name) override {
    int fd = OpenLocked(name, O_RDONLY);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixFile>(fd);
  }

  std::unique_ptr<WritableFile> OpenTruncate(const std::string& name) override {
    // Truncate only once the lock is ours, so a file held by another run is left whole.
    int fd = OpenLocked(name, O_WRONLY | O_CREAT);
    if (fd < 0) return nullptr;
    if (::ftruncate(fd, 0) != 0) {
      ::close(fd);
      return nullptr;
    }
    return std::make_unique<PosixFile>(fd);
  }

  std::unique_ptr<WritableFile> OpenAppend(const std::string& name, int lock_wait_ms) override {
    int fd = OpenLocked(name, O_WRONLY | O_CREAT | O_APPEND, lock_wait_ms);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixFile>(fd);
  }

  bool SameFile(const std::string& first, const std::string& second) override {
    struct stat one{};
    struct stat two{};
    bool first_exists = ::stat(first.c_str(), &one) == 0;
    bool second_exists = ::stat(second.c_str(), &two) == 0;
    if (first_exists || second_exists) {
      return first_exists && second_exists && one.st_dev == two.st_dev && one.st_ino == two.st_ino;
    }
    std::size_t first_slash = first.rfind('/');
    std::size_t second_slash = second.rfind('/');
    std::string first_name = first_slash == std::string::npos ? first : first.substr(first_slash + 1);
    std::string second_name = second_slash == std::string::npos ? second : second.substr(second_slash + 1);
    auto folder = [](const std::string& name, std::size_t slash) {
      return slash == std::string::npos ? std::string(".") : name.substr(0, slash + 1);
    };
    return !first_name.empty() && first_name == second_name &&
           ::stat(folder(first, first_slash).c_str(), &one) == 0 &&
           ::stat(folder(second, second_slash).c_str(), &two) == 0 && one.st_dev == two.st_dev &&
           one.st_ino == two.st_ino;
  }
};

}  // namespace

FileSystem& RealFileSystem() {
  static FileSystem* files = new PosixFileSystem;
  return *files;
}

}  // namespace vantrel::platform
