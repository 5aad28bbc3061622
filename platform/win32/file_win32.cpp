#include <windows.h>

#include <string>

#include "platform/file.h"

namespace vantrel::platform {

namespace {

class Win32File final : public ReadableFile, public WritableFile {
 public:
  explicit Win32File(HANDLE handle) : handle_(handle) {}
  ~Win32File() override { ::CloseHandle(handle_); }
  Win32File(const Win32File&) = delete;
  Win32File& operator=(const Win32File&) = delete;

  long Read(char* buffer, std::size_t size) override {
    DWORD got = 0;
    DWORD want = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
    if (!::ReadFile(handle_, buffer, want, &got, nullptr)) return -1;
    return static_cast<long>(got);
  }

  bool Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      DWORD put = 0;
      DWORD want = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
      if (!::WriteFile(handle_, bytes.data(), want, &put, nullptr) || put == 0) return false;
      bytes.remove_prefix(put);
    }
    return true;
  }

  bool Rewind() override {
    LARGE_INTEGER start{};
    return ::SetFilePointerEx(handle_, start, nullptr, FILE_BEGIN) != 0;
  }

  std::int64_t Length() override {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(handle_, &size) ? static_cast<std::int64_t>(size.QuadPart) : -1;
  }

  bool CutTo(std::int64_t length) override {
    LARGE_INTEGER at{};
    at.QuadPart = length;
    return ::SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN) != 0 && ::SetEndOfFile(handle_) != 0;
  }

 private:
  HANDLE handle_;
};

// Another program's hold on a file is asked after again at this interval.
constexpr DWORD kLockRetryStepMs = 20;

// No sharing: another program cannot open the file while it is ours. While
// another program has it, try again until lock_wait_ms have passed. Only a
// file on disk is kept: a device or a pipe of that name is closed again.
HANDLE OpenExclusive(const std::string& name, DWORD access, DWORD disposition, int lock_wait_ms = 0) {
  ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(lock_wait_ms > 0 ? lock_wait_ms : 0);
  for (;;) {
    HANDLE handle =
        ::CreateFileA(name.c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      if (::GetFileType(handle) == FILE_TYPE_DISK) return handle;
      ::CloseHandle(handle);
      return INVALID_HANDLE_VALUE;
    }
    DWORD error = ::GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) return INVALID_HANDLE_VALUE;
    ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return INVALID_HANDLE_VALUE;
    ULONGLONG left = deadline - now;
    ::Sleep(left < kLockRetryStepMs ? static_cast<DWORD>(left) : kLockRetryStepMs);
  }
}

// The full path, or an empty text when it cannot be formed.
std::string FullPath(const std::string& name) {
  DWORD length = ::GetFullPathNameA(name.c_str(), 0, nullptr, nullptr);
  if (length == 0) return std::string();
  std::string path(length, '\0');
  length = ::GetFullPathNameA(name.c_str(), static_cast<DWORD>(path.size()), path.data(), nullptr);
  if (length == 0 || length >= path.size()) return std::string();
  path.resize(length);
  return path;
}

class Win32FileSystem final : public FileSystem {
 public:
  bool IsPlainFile(const std::string& name) override {
    DWORD attributes = ::GetFileAttributesA(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
  }

  std::int64_t FileSize(const std::string& name) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data)) return -1;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  }

  std::unique_ptr<ReadableFile> OpenRead(const std::string& name) override {
    HANDLE handle = OpenExclusive(name, GENERIC_READ, OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32File>(handle);
  }

  std::unique_ptr<WritableFile> OpenTruncate(const std::string& name) override {
    // OPEN_ALWAYS and then cutting keeps a hidden file hidden; CREATE_ALWAYS
    // would refuse a hidden file outright.
    HANDLE handle = OpenExclusive(name, GENERIC_WRITE, OPEN_ALWAYS);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    if (!::SetEndOfFile(handle)) {
      ::CloseHandle(handle);
      return nullptr;
    }
    return std::make_unique<Win32File>(handle);
  }

  std::unique_ptr<WritableFile> OpenAppend(const std::string& name, int lock_wait_ms) override {
    HANDLE handle = OpenExclusive(name, GENERIC_WRITE, OPEN_ALWAYS, lock_wait_ms);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    // The 64-bit form: past 4 GiB the 32-bit one's result is a low half
    // that was never looked at, and writes started over at the front.
    LARGE_INTEGER none{};
    if (!::SetFilePointerEx(handle, none, nullptr, FILE_END)) {
      ::CloseHandle(handle);
      return nullptr;
    }
    return std::make_unique<Win32File>(handle);
  }

  // File names are case-insensitive here, and the full path settles "." and
  // "..", relative names and trailing dots and blanks, for files that are
  // yet to be created too.
  bool SameFile(const std::string& first, const std::string& second) override {
    bool first_exists = ::GetFileAttributesA(first.c_str()) != INVALID_FILE_ATTRIBUTES;
    bool second_exists = ::GetFileAttributesA(second.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (first_exists != second_exists) return false;
    std::string one = FullPath(first);
    std::string two = FullPath(second);
    return !one.empty() && ::lstrcmpiA(one.c_str(), two.c_str()) == 0;
  }
};

}  // namespace

FileSystem& RealFileSystem() {
  static FileSystem* files = new Win32FileSystem;
  return *files;
}

}  // namespace vantrel::platform
