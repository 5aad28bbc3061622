#include "run/result_files.h"

#include "probe/shared_state.h"
#include "text/text_lines.h"

namespace vantrel::run {

ResultList::ResultList(platform::FileSystem& files, const std::string& name) : file_(files.OpenTruncate(name)) {
  complete_ = file_ != nullptr;
}

void ResultList::WriteLine(const std::string& line) {
  // One write per line, so that a failed write cannot leave half a line
  // followed by the next one.
  if (!file_ || !file_->Write(line + text::kLineEnd)) complete_ = false;
}

bool AppendBadAddressEntry(platform::FileSystem& files, const std::string& name, const std::string& verdict,
                           const std::string& line) {
  // Another run on the same list may be appending: wait for it, never skip.
  std::unique_ptr<platform::WritableFile> file = files.OpenAppend(name, Shared().waits.file_lock_wait_ms);
  if (!file) return false;
  return file->Write("## " + verdict + " " + line + text::kLineEnd + line + text::kLineEnd);
}

}  // namespace vantrel::run
