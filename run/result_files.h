// The files a run writes besides its log: the result list, rewritten each
// run, and the bad-address file, which only ever grows.
#pragma once

#include <memory>
#include <string>

#include "platform/file.h"

namespace vantrel::run {

// The result list, created empty when the run opens it and held until the run
// ends. It remembers whether every line reached the file, so that the run can
// tell the user when the list it leaves is not whole.
class ResultList {
 public:
  ResultList(platform::FileSystem& files, const std::string& name);
  void WriteLine(const std::string& line);  // adds CR LF
  bool Complete() const { return complete_; }
  void Close() { file_.reset(); }

 private:
  std::unique_ptr<platform::WritableFile> file_;
  bool complete_ = true;
};

// Appends the two-line entry for a bad address:
//   "## " + verdict + " " + line
//   line
// False when the file could not be opened or written.
bool AppendBadAddressEntry(platform::FileSystem& files, const std::string& name, const std::string& verdict,
                           const std::string& line);

}  // namespace vantrel::run
