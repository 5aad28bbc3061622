// Reads a member list the way the run does, line by line through the file
// seam, classifies each line, and checks what must hold for any file. Shared
// by the fuzzer and the test suite that replays its corpus.
//
// Input: byte 0 chooses the reads: its low 7 bits are the bytes each read
// gives (0: as many as asked), its high bit makes the file end with a read
// error instead of a plain end. The rest is the file.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file.h"
#include "run/member_list.h"
#include "text/text_lines.h"

namespace vantrel::fuzz {

class PiecewiseFile : public platform::ReadableFile {
 public:
  PiecewiseFile(std::string bytes, std::size_t piece, bool ends_in_error)
      : bytes_(std::move(bytes)), piece_(piece), ends_in_error_(ends_in_error) {}
  long Read(char* buffer, std::size_t size) override {
    if (next_ == bytes_.size()) return ends_in_error_ ? -1 : 0;
    std::size_t n = std::min({size, piece_, bytes_.size() - next_});
    std::memcpy(buffer, bytes_.data() + next_, n);
    next_ += n;
    return static_cast<long>(n);
  }
  bool Rewind() override { return (next_ = 0) == 0; }

 private:
  std::string bytes_;
  std::size_t next_ = 0;
  std::size_t piece_;
  bool ends_in_error_;
};

// The lines of text as the file format defines them: text ends at the first
// Ctrl-Z, a line ends at CR or CR LF (at LF in a text without CR), and what
// follows the last line end is a line when it is not empty.
inline std::vector<std::string> ExpectedLines(const std::string& text) {
  const char end = text.find('\r') == std::string::npos ? '\n' : '\r';
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == end) {
      lines.push_back(line);
      line.clear();
      if (end == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line.push_back(text[i]);
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

inline bool StartsAfterBlanks(const std::string& line, const char* marker) {
  std::size_t begin = line.find_first_not_of(' ');
  return begin != std::string::npos && line.compare(begin, std::strlen(marker), marker) == 0;
}

// Empty when the list was read and classified soundly, else what went wrong.
inline std::string CheckMemberList(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return std::string();
  std::size_t piece = (data[0] & 0x7F) == 0 ? static_cast<std::size_t>(-1) : (data[0] & 0x7F);
  std::string file_bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::size_t ctrl_z = file_bytes.find('\x1a');
  std::string before_end = file_bytes.substr(0, ctrl_z);

  PiecewiseFile file(file_bytes, piece, (data[0] & 0x80) != 0);
  text::TextLineReader reader(file);
  std::vector<std::string> lines;
  std::string line;
  std::size_t line_bytes = 0;
  while (reader.ReadLine(&line)) {
    if (lines.size() > before_end.size()) return "more lines than bytes";
    if (line.find('\r') != std::string::npos) return "a line holds a CR";
    if (line.find('\x1a') != std::string::npos) return "a line holds a Ctrl-Z";
    line_bytes += line.size();
    lines.push_back(line);
  }
  if (!reader.AtEnd()) return "no more lines, but not at the end";

  std::vector<std::string> expected = ExpectedLines(before_end);
  const char line_end = before_end.find('\r') == std::string::npos ? '\n' : '\r';
  // A read error cuts the last line short; a cut line is never handed out as
  // if it were whole.
  const bool read_error_first = (data[0] & 0x80) != 0 && ctrl_z == std::string::npos;
  std::size_t cut_bytes = 0;
  if (read_error_first) {
    std::size_t cr = before_end.find_last_of(line_end);
    std::size_t tail = cr == std::string::npos ? 0 : cr + 1;
    if (line_end == '\r' && cr != std::string::npos && tail < before_end.size() && before_end[tail] == '\n') ++tail;
    cut_bytes = before_end.size() - tail;
    if (cut_bytes > 0) expected.pop_back();
  }
  if (lines != expected) {
    return "read " + std::to_string(lines.size()) + " lines, the file holds " + std::to_string(expected.size());
  }
  // Every byte before the Ctrl-Z is in a line or a line end, and the Ctrl-Z
  // itself is taken.
  std::size_t line_ends = 0;
  for (std::size_t i = 0; i < before_end.size(); ++i) line_ends += before_end[i] == line_end ? 1 : 0;
  for (std::size_t i = 0; i + 1 < before_end.size(); ++i) line_ends += before_end.compare(i, 2, "\r\n") == 0 ? 1 : 0;
  if (line_bytes + line_ends + cut_bytes != before_end.size()) {
    return "the lines and line ends miss bytes before the end";
  }
  std::int64_t consumed = static_cast<std::int64_t>(before_end.size() + (ctrl_z != std::string::npos ? 1 : 0));
  if (reader.BytesConsumed() != consumed) {
    return "BytesConsumed " + std::to_string(reader.BytesConsumed()) + ", expected " + std::to_string(consumed);
  }

  for (const std::string& text : lines) {
    run::ClassifiedLine c = run::ClassifyLine(text);
    if (text.find('@') == std::string::npos) {
      if (c.kind != run::LineKind::kNotAnAddress || c.line != text || c.was_soft_dns) {
        return "a line without \"@\" was taken for an address or changed";
      }
      continue;
    }
    if (c.kind == run::LineKind::kNotAnAddress) return "a line with \"@\" was not taken for an address";
    bool soft = StartsAfterBlanks(text, "++");
    if (c.was_soft_dns != soft) return "the soft-DNS mark was misread";
    if (c.line != (soft ? text.substr(2) : text)) return "a classified line lost the wrong characters";
    bool suspended = StartsAfterBlanks(c.line, "+");
    if ((c.kind == run::LineKind::kSuspended) != suspended) return "the suspended mark was misread";
  }
  return std::string();
}

}  // namespace vantrel::fuzz
