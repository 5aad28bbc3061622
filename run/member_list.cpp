#include "run/member_list.h"

namespace vantrel::run {

std::string ResultStem(const std::string& member_list_name) {
  std::size_t end = member_list_name.find_last_not_of(". ");
  return end == std::string::npos ? std::string() : member_list_name.substr(0, end + 1);
}

std::string ResultListName(const std::string& member_list_name) { return ResultStem(member_list_name) + ".OK"; }

std::string BadAddressFileName(const std::string& member_list_name) {
  return ResultStem(member_list_name) + ".BAD";
}

std::string TrimLeadingBlanks(const std::string& text) {
  std::size_t begin = text.find_first_not_of(' ');
  return begin == std::string::npos ? std::string() : text.substr(begin);
}

std::string TrimBlanks(const std::string& text) {
  std::size_t begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) return std::string();
  std::size_t end = text.find_last_not_of(' ');
  return text.substr(begin, end - begin + 1);
}

std::string DomainOf(const std::string& line) {
  std::size_t at = line.find('@');
  return at == std::string::npos ? std::string() : TrimBlanks(line.substr(at + 1));
}

ClassifiedLine ClassifyLine(const std::string& line) {
  ClassifiedLine result;
  result.line = line;
  if (line.find('@') == std::string::npos) return result;
  // The marker test skips leading blanks, but the cut takes the first two
  // characters as read: "  ++a@b" becomes "++a@b", a suspended line. Lists
  // written by earlier runs depend on exactly this.
  if (TrimLeadingBlanks(line).compare(0, 2, "++") == 0) {
    result.was_soft_dns = true;
    result.line = line.substr(2);
  }
  result.kind = TrimLeadingBlanks(result.line).compare(0, 1, "+") == 0 ? LineKind::kSuspended : LineKind::kAddress;
  return result;
}

std::unique_ptr<MemberList> MemberList::Open(platform::FileSystem& files, const std::string& name) {
  std::unique_ptr<platform::ReadableFile> file = files.OpenRead(name);
  if (!file) return nullptr;
  return std::unique_ptr<MemberList>(new MemberList(std::move(file)));
}

}  // namespace vantrel::run
