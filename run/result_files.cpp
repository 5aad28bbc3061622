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
  WriteBytes(line + text::kLineEnd);
}

bool ResultList::WriteBytes(std::string_view bytes) {
  if (!file_) {
    complete_ = false;
    return false;
  }
  if (!file_->Write(bytes)) {
    complete_ = false;
    // Unless the cut succeeds, later lines would be glued to the half one.
    if (!file_->CutTo(whole_)) file_.reset();
    length_ = whole_;
    ends_in_cr_ = false;
    return false;
  }
  std::size_t cr = bytes.rfind('\r');
  if (cr != std::string_view::npos) {
    std::size_t end = cr + 1 < bytes.size() && bytes[cr + 1] == '\n' ? cr + 2 : cr + 1;
    whole_ = length_ + static_cast<std::int64_t>(end);
  } else if (ends_in_cr_ && whole_ == length_ && !bytes.empty() && bytes[0] == '\n') {
    whole_ = length_ + 1;
  }
  length_ += static_cast<std::int64_t>(bytes.size());
  if (!bytes.empty()) ends_in_cr_ = bytes.back() == '\r';
  return true;
}

bool AppendBadAddressEntry(platform::FileSystem& files, const std::string& name, const std::string& verdict,
                           const std::string& line) {
  // Another run on the same list may be appending: wait for it, never skip.
  std::unique_ptr<platform::WritableFile> file = files.OpenAppend(name, Shared().waits.file_lock_wait_ms);
  if (!file) return false;
  const std::int64_t before = file->Length();
  if (file->Write("## " + verdict + " " + line + text::kLineEnd + line + text::kLineEnd)) return true;
  // The entry is kept in the result list instead; half of it here would
  // read as a mangled entry.
  if (before >= 0) file->CutTo(before);
  return false;
}

}  // namespace vantrel::run
