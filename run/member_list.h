// The member list as the run sees it: the names of the files formed from it,
// the kinds of line it holds, and a reader that holds one line at a time.
#pragma once

#include <memory>
#include <string>

#include "platform/file.h"
#include "text/text_lines.h"

namespace vantrel::run {

// The member list's name without the dots and blanks at its end: the stem of
// the result list and the bad-address file.
std::string ResultStem(const std::string& member_list_name);
std::string ResultListName(const std::string& member_list_name);  // stem + ".OK"
std::string BadAddressFileName(const std::string& member_list_name);  // stem + ".BAD"

enum class LineKind {
  kNotAnAddress,  // no "@": a comment, a heading or a blank line
  kSuspended,     // "+" after leading blanks: found bad in an earlier run
  kAddress,       // to be probed
};

struct ClassifiedLine {
  LineKind kind = LineKind::kNotAnAddress;
  // The line as it is written back: a soft-DNS line has lost its first two
  // characters, whatever they were.
  std::string line;
  bool was_soft_dns = false;  // it began with "++" after leading blanks
};

ClassifiedLine ClassifyLine(const std::string& line);

// Blanks (code 32) only; tabs and other characters stay.
std::string TrimBlanks(const std::string& text);
std::string TrimLeadingBlanks(const std::string& text);

// The domain of an address line: that of the address the probe will use, so
// that a display name or a comment around it, or a final dot, changes
// nothing. Without such an address, everything after the first "@", trimmed.
std::string DomainOf(const std::string& line);

// The settings file's name as the run must know it: a list of that name
// would be overwritten by the settings at exit. (The settings sit above the
// run, so the run cannot take the name from there.)
inline constexpr char kSettingsFileName[] = "Vantrel.INI";

// Why a member list was not opened.
enum class ListProblem {
  kNone,
  kNotFound,       // no ordinary file of that name (a folder, a pipe, a device)
  kCannotOpen,     // held by another program or not readable
  kUtf16,          // begins with a UTF-16 byte-order mark: every line would be wrong
  kSettingsFile,   // is Vantrel.INI
  kRunLog,         // is vantrel.log
  kOwnResultList,  // is the run's own result list, which the run empties
  kOwnBadFile,     // is the run's own bad-address file, which the run appends to
};

// The "Error" box text for the problems that ListProblem names beyond a
// missing or held file.
std::string ListRefusalText(ListProblem problem, const std::string& name);

// The member list, open for this program alone while the run lasts.
class MemberList {
 public:
  // Null when the file is no member list that a run may read; problem, when
  // given, then tells why. Nothing is written and nothing waits.
  static std::unique_ptr<MemberList> Open(platform::FileSystem& files, const std::string& name,
                                          ListProblem* problem = nullptr);

  bool AtEnd() { return reader_.AtEnd(); }
  bool ReadLine(std::string* line) { return reader_.ReadLine(line); }
  std::int64_t BytesRead() const { return reader_.BytesConsumed(); }
  // The lines not yet read, copied to put as bytes (see TextLineReader).
  std::int64_t CopyRest(const std::function<bool(std::string_view)>& put,
                        const std::function<void(std::string_view)>& each_line = nullptr) {
    return reader_.CopyRest(put, each_line);
  }
  // A "Results" warning when reading ended before the end of the file (a
  // Ctrl-Z with text after it, a read error); empty otherwise.
  std::string EndWarning(const std::string& name) const;

 private:
  explicit MemberList(std::unique_ptr<platform::ReadableFile> file) : file_(std::move(file)), reader_(*file_) {}
  std::unique_ptr<platform::ReadableFile> file_;
  text::TextLineReader reader_;
};

}  // namespace vantrel::run
