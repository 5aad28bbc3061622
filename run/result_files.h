// The files a run writes besides its log: the result list, rewritten each
// run, and the bad-address file, which only ever grows.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace vantrel::run {

// The result list, created empty when the run opens it and held until the run
// ends. It remembers whether every line reached the file, so that the run can
// tell the user when the list it leaves is not whole. A write that fails
// (a full disk) is cut back to the end of the last whole line, so the list
// never holds half a line that the next run would take for an address.
class ResultList {
 public:
  ResultList(platform::FileSystem& files, const std::string& name);
  void WriteLine(const std::string& line);  // adds CR LF
  // Bytes as they stand, lines ended by CR or CR LF; a line counts as whole
  // once its end is written. False when the write failed.
  bool WriteBytes(std::string_view bytes);
  bool Complete() const { return complete_; }
  void Close() { file_.reset(); }

 private:
  std::unique_ptr<platform::WritableFile> file_;
  bool complete_ = true;
  std::int64_t length_ = 0;  // bytes in the file
  std::int64_t whole_ = 0;   // bytes up to the end of the last whole line
  bool ends_in_cr_ = false;  // a LF that comes next still belongs to that line end
};

// Appends the two-line entry for a bad address:
//   "## " + verdict + " " + line
//   line
// False when the file could not be opened or written.
bool AppendBadAddressEntry(platform::FileSystem& files, const std::string& name, const std::string& verdict,
                           const std::string& line);

}  // namespace vantrel::run
