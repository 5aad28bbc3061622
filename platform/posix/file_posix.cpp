#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

 private:
  int fd_;
};

int OpenLocked(const std::string& name, int flags) {
  int fd;
  do {
    fd = ::open(name.c_str(), flags | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat info{};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
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

  std::unique_ptr<WritableFile> OpenAppend(const std::string& name) override {
    int fd = OpenLocked(name, O_WRONLY | O_CREAT | O_APPEND);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixFile>(fd);
  }
};

}  // namespace

FileSystem& RealFileSystem() {
  static FileSystem* files = new PosixFileSystem;
  return *files;
}

}  // namespace vantrel::platform
