#include "run/member_list.h"

#include <string_view>
#include <utility>

#include "probe/address_pattern.h"
#include "run/run_log.h"

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
  if (std::optional<std::string> mailbox = FindMailbox(line)) return mailbox->substr(mailbox->find('@') + 1);
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

std::string ListRefusalText(ListProblem problem, const std::string& name) {
  if (problem == ListProblem::kUtf16) {
    return "The input file is saved as UTF-16 (Unicode).\r\n\r\n" + name +
           "\r\n\r\nSave it as ANSI or UTF-8 and try again.";
  }
  std::string what;
  switch (problem) {
    case ListProblem::kSettingsFile:
      what = std::string("the settings file ") + kSettingsFileName;
      break;
    case ListProblem::kRunLog:
      what = std::string("the run log ") + kRunLogName;
      break;
    case ListProblem::kOwnResultList:
      what = "its own result list " + ResultListName(name);
      break;
    case ListProblem::kOwnBadFile:
      what = "its own bad-address file " + BadAddressFileName(name);
      break;
    default:
      return "Cannot read the input file.\r\n\r\n" + name;
  }
  return "The input file is " + what + ", not a member list.\r\n\r\n" + name +
         "\r\n\r\nChoose the member list in the Input List box.";
}

std::unique_ptr<MemberList> MemberList::Open(platform::FileSystem& files, const std::string& name,
                                             ListProblem* problem) {
  ListProblem ignored;
  ListProblem& why = problem ? *problem : ignored;
  why = ListProblem::kNone;
  if (!files.IsPlainFile(name)) {
    why = ListProblem::kNotFound;
    return nullptr;
  }
  // The run rewrites or appends to each of these, so reading one as the list
  // would lose what it holds.
  const std::pair<std::string, ListProblem> others[] = {
      {kSettingsFileName, ListProblem::kSettingsFile},
      {kRunLogName, ListProblem::kRunLog},
      {ResultListName(name), ListProblem::kOwnResultList},
      {BadAddressFileName(name), ListProblem::kOwnBadFile},
  };
  for (const auto& [other, reason] : others) {
    if (files.SameFile(name, other)) {
      why = reason;
      return nullptr;
    }
  }
  std::unique_ptr<platform::ReadableFile> file = files.OpenRead(name);
  if (!file) {
    why = ListProblem::kCannotOpen;
    return nullptr;
  }
  std::unique_ptr<MemberList> list(new MemberList(std::move(file)));
  std::string_view start = list->reader_.Peek(2);
  if (start == "\xFF\xFE" || start == "\xFE\xFF") {
    why = ListProblem::kUtf16;
    return nullptr;
  }
  return list;
}

std::string MemberList::EndWarning(const std::string& name) const {
  const std::string where = "WARNING: Reading " + name + " stopped at line " + std::to_string(reader_.EndLine());
  const std::string rest = " The result list holds only what was read before it; " + name + " is unchanged.";
  switch (reader_.End()) {
    case text::TextEnd::kCtrlZ:
      return where + ", at a Ctrl-Z character with more text after it." + rest;
    case text::TextEnd::kReadError:
      return where + ", because the file could not be read further." + rest;
    default:
      return std::string();
  }
}

}  // namespace vantrel::run
