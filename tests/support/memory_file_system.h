// An in-memory FileSystem: files are strings, reads come in short pieces,
// and any name can be made hidden, unreadable, read-only, locked, or to fail
// its reads part-way or its writes the way a full disk does.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/file.h"

namespace vantrel::testing {

class MemoryFileSystem : public platform::FileSystem {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> hidden;         // present, but not an ordinary file
  std::set<std::string> unreadable;     // OpenRead gives null
  std::set<std::string> locked;         // OpenRead/OpenTruncate/OpenAppend give null
  std::set<std::string> read_only;      // OpenTruncate/OpenAppend give null
  std::set<std::string> failing_write;  // opens, but Write stores half its bytes and fails
  std::map<std::string, std::size_t> read_error_at;  // Read fails once this many bytes are read
  std::size_t read_piece = 3;           // bytes per Read call

  bool IsPlainFile(const std::string& name) override { return files.count(name) != 0 && !hidden.count(name); }
  std::int64_t FileSize(const std::string& name) override {
    auto found = files.find(name);
    return found == files.end() ? -1 : static_cast<std::int64_t>(found->second.size());
  }

  std::unique_ptr<platform::ReadableFile> OpenRead(const std::string& name) override {
    if (locked.count(name) || unreadable.count(name) || !files.count(name)) return nullptr;
    auto error_at = read_error_at.find(name);
    return std::make_unique<Reader>(files[name], read_piece,
                                    error_at == read_error_at.end() ? std::string::npos : error_at->second);
  }
  std::unique_ptr<platform::WritableFile> OpenTruncate(const std::string& name) override {
    if (locked.count(name) || read_only.count(name)) return nullptr;
    files[name].clear();
    return std::make_unique<Writer>(files[name], failing_write.count(name) != 0);
  }
  std::unique_ptr<platform::WritableFile> OpenAppend(const std::string& name, int /*lock_wait_ms*/) override {
    if (locked.count(name) || read_only.count(name)) return nullptr;
    return std::make_unique<Writer>(files[name], failing_write.count(name) != 0);
  }
  bool SameFile(const std::string& first, const std::string& second) override { return first == second; }

 private:
  class Reader : public platform::ReadableFile {
   public:
    Reader(std::string content, std::size_t piece, std::size_t error_at)
        : content_(std::move(content)), piece_(piece), error_at_(error_at) {}
    long Read(char* buffer, std::size_t size) override {
      if (pos_ >= error_at_) return -1;
      if (error_at_ != std::string::npos) size = std::min(size, error_at_ - pos_);
      std::size_t n = std::min({size, piece_, content_.size() - pos_});
      content_.copy(buffer, n, pos_);
      pos_ += n;
      return static_cast<long>(n);
    }
    bool Rewind() override { return (pos_ = 0) == 0; }

   private:
    std::string content_;
    std::size_t piece_;
    std::size_t error_at_;
    std::size_t pos_ = 0;
  };
  class Writer : public platform::WritableFile {
   public:
    Writer(std::string& target, bool fail) : target_(target), fail_(fail) {}
    bool Write(std::string_view bytes) override {
      if (fail_) {
        target_.append(bytes.substr(0, bytes.size() / 2));
        return false;
      }
      target_.append(bytes);
      return true;
    }
    std::int64_t Length() override { return static_cast<std::int64_t>(target_.size()); }
    bool CutTo(std::int64_t length) override { return target_.resize(static_cast<std::size_t>(length)), true; }

   private:
    std::string& target_;
    bool fail_;
  };
};

}  // namespace vantrel::testing
