// Line framing of the text files the system reads (member lists, settings):
// a line ends at CR, a LF right after the CR belongs to the line end, a lone LF
// stays in the line, and Ctrl-Z (code 26) ends the file. A text with no CR at
// all before its end is framed by its LFs instead, as editors on Linux write
// it. Lines have no length limit; memory holds one line and one read buffer,
// whatever the file's size.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace vantrel::text {

// Why reading ended, so that a caller can tell a whole file from one that was
// cut short.
enum class TextEnd {
  kNotYet,      // there may be more to read
  kEndOfFile,   // every byte was read; a Ctrl-Z as the very last byte counts here
  kCtrlZ,       // a Ctrl-Z ended the text with more bytes after it
  kReadError,   // the file could not be read further
};

enum class Framing {
  kCr,  // a line ends at CR or CR LF; a lone LF is part of the line
  kLf,  // the text holds no CR: each LF ends a line
};

class TextLineReader {
 public:
  // Before the first line the reader looks at the whole text, up to a
  // Ctrl-Z, and comes back to its start: a CR anywhere in it keeps CR framing
  // for every line, even those far before it. Text after a Ctrl-Z is never
  // read, so a CR there changes nothing.
  explicit TextLineReader(platform::ReadableFile& file) : file_(file) {}

  // The next line without its end; false at the end of the text. A line cut
  // short by a read error is not returned: its end was never seen.
  bool ReadLine(std::string* line);
  bool AtEnd();
  // Up to count bytes from the start of the file, without taking them; fewer
  // when the file is shorter. Only before the first line is read.
  std::string_view Peek(std::size_t count);
  // Bytes of the file taken so far, line ends and a final Ctrl-Z included.
  std::int64_t BytesConsumed() const { return consumed_; }
  TextEnd End() const { return end_; }
  // The line in which reading ended (counted from 1): lines ended so far + 1.
  std::int64_t EndLine() const { return lines_ended_ + 1; }
  // Hands the rest of the text, from the first byte not yet taken to its end
  // or a Ctrl-Z, to put in pieces without looking for lines, so that even a
  // huge rest goes quickly. The pieces frame the same among CR LF lines as
  // the text did here: LF-framed text gets CR LF for each LF, and a last line
  // without an end gets CR LF. Stops at the first piece put refuses. Returns
  // the lines handed over whole. When each_line is given, it is told every
  // line handed over whole, without its end, as ReadLine would have read it.
  std::int64_t CopyRest(const std::function<bool(std::string_view)>& put,
                        const std::function<void(std::string_view)>& each_line = nullptr);

 private:
  void ChooseFraming();
  bool Fill();  // false when nothing more can be read
  void StopAtCtrlZ();

  platform::ReadableFile& file_;
  std::array<char, 16384> buffer_{};
  std::size_t pos_ = 0;
  std::size_t size_ = 0;
  std::int64_t consumed_ = 0;
  std::int64_t lines_ended_ = 0;
  TextEnd source_ = TextEnd::kNotYet;  // what the file said once it gave no more bytes
  TextEnd end_ = TextEnd::kNotYet;     // set once the text has ended
  bool framing_chosen_ = false;
  Framing framing_ = Framing::kCr;
};

// "\r\n" between and after lines, as every file the system writes has it.
inline constexpr char kLineEnd[] = "\r\n";

}  // namespace vantrel::text
