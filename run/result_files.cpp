#include "run/result_files.h"

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
  std::unique_ptr<platform::WritableFile> file = files.OpenAppend(name);
  if (!file) return false;
  return file->Write("## " + verdict + " " + line + text::kLineEnd + line + text::kLineEnd);
}

}  // namespace vantrel::run
