// Line framing of the text files the system reads (member lists, settings):
// a line ends at CR, a LF right after the CR belongs to the line end, a lone LF
// stays in the line, and Ctrl-Z (code 26) ends the file. Lines have no length
// limit; memory holds one line and one read buffer, whatever the file's size.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/file.h"

namespace vantrel::text {

class TextLineReader {
 public:
  explicit TextLineReader(platform::ReadableFile& file) : file_(file) {}

  // The next line without its end; false at the end of the file. A read error
  // counts as the end of the file.
  bool ReadLine(std::string* line);
  bool AtEnd();
  // Bytes of the file taken so far, line ends and a final Ctrl-Z included.
  std::int64_t BytesConsumed() const { return consumed_; }

 private:
  bool Fill();  // false when nothing more can be read

  platform::ReadableFile& file_;
  std::array<char, 16384> buffer_{};
  std::size_t pos_ = 0;
  std::size_t size_ = 0;
  std::int64_t consumed_ = 0;
  bool ended_ = false;  // end of file, read error or Ctrl-Z seen
};

// "\r\n" between and after lines, as every file the system writes has it.
inline constexpr char kLineEnd[] = "\r\n";

}  // namespace vantrel::text
