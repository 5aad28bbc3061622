// The seam under every file the system touches. Files are opened for this
// program alone (no sharing) and report failure by a null handle, never by
// throwing; tests substitute a FileSystem that fails or reads short. Only
// ordinary files open: a pipe, a device or a folder of that name gives null,
// and opening never waits on whatever is at the other end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vantrel::platform {

class ReadableFile {
 public:
  virtual ~ReadableFile() = default;
  // Up to size bytes; 0 at the end of the file, -1 on a read error.
  virtual long Read(char* buffer, std::size_t size) = 0;
  // Back to the first byte. A file held for this program alone may not open
  // a second time, so a reader that must look at the whole text first comes
  // back this way.
  virtual bool Rewind() = 0;
};

class WritableFile {
 public:
  virtual ~WritableFile() = default;
  // False when not every byte could be written.
  virtual bool Write(std::string_view bytes) = 0;
  // The file's length in bytes, or -1 when it cannot be told.
  virtual std::int64_t Length() = 0;
  // Cuts the file to its first length bytes; later writes go after them. A
  // full disk may have taken part of a failed write, and a half line would
  // run into whatever comes next.
  virtual bool CutTo(std::int64_t length) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // True for an existing ordinary file: folders, hidden and system files don't count.
  virtual bool IsPlainFile(const std::string& name) = 0;
  // The size in bytes of an existing file, or -1 when it cannot be told.
  virtual std::int64_t FileSize(const std::string& name) = 0;
  virtual std::unique_ptr<ReadableFile> OpenRead(const std::string& name) = 0;
  // Empties an existing file (keeping its attributes) or creates it.
  virtual std::unique_ptr<WritableFile> OpenTruncate(const std::string& name) = 0;
  // Opens for appending, creating the file when missing. While another
  // program holds the file, tries again in short steps for up to
  // lock_wait_ms: two runs in one folder share their log this way.
  virtual std::unique_ptr<WritableFile> OpenAppend(const std::string& name, int lock_wait_ms = 0) = 0;
  // True when both names lead to one existing file, by whatever path or
  // link; when neither file exists yet, true when both would create the
  // same one (the same name in the same folder).
  virtual bool SameFile(const std::string& first, const std::string& second) = 0;
};

// The machine's own files, relative names against the current directory.
FileSystem& RealFileSystem();

}  // namespace vantrel::platform
