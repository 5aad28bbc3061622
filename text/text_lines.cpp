#include "text/text_lines.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vantrel::text {

namespace {
constexpr char kCtrlZ = 26;

TextEnd SourceEnd(long got) { return got == 0 ? TextEnd::kEndOfFile : TextEnd::kReadError; }
}  // namespace

// The first CR settles it, so a CR LF file costs one buffer here. A read
// error leaves the framing to what could be read; reading the lines meets
// the error again and says so.
void TextLineReader::ChooseFraming() {
  if (framing_chosen_) return;
  framing_chosen_ = true;
  bool cr = false;
  bool lf = false;
  for (;;) {
    long got = file_.Read(buffer_.data(), buffer_.size());
    if (got <= 0) break;
    std::string_view piece(buffer_.data(), static_cast<std::size_t>(got));
    std::size_t ctrl_z = piece.find(kCtrlZ);
    piece = piece.substr(0, ctrl_z);
    cr = cr || piece.find('\r') != std::string_view::npos;
    lf = lf || piece.find('\n') != std::string_view::npos;
    if (cr || ctrl_z != std::string_view::npos) break;
  }
  framing_ = lf && !cr ? Framing::kLf : Framing::kCr;
  if (!file_.Rewind()) source_ = end_ = TextEnd::kReadError;
}

bool TextLineReader::Fill() {
  ChooseFraming();
  if (end_ != TextEnd::kNotYet) return false;
  if (pos_ < size_) return true;
  if (source_ == TextEnd::kNotYet) {
    long got = file_.Read(buffer_.data(), buffer_.size());
    if (got > 0) {
      pos_ = 0;
      size_ = static_cast<std::size_t>(got);
      return true;
    }
    source_ = SourceEnd(got);
  }
  end_ = source_;
  return false;
}

std::string_view TextLineReader::Peek(std::size_t count) {
  ChooseFraming();
  count = std::min(count, buffer_.size());
  while (source_ == TextEnd::kNotYet && size_ - pos_ < count) {
    if (pos_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + pos_, size_ - pos_);
      size_ -= pos_;
      pos_ = 0;
    }
    long got = file_.Read(buffer_.data() + size_, buffer_.size() - size_);
    if (got <= 0) {
      source_ = SourceEnd(got);
      break;
    }
    size_ += static_cast<std::size_t>(got);
  }
  return std::string_view(buffer_.data() + pos_, std::min(count, size_ - pos_));
}

// Takes the Ctrl-Z and looks whether anything follows it: text after a
// Ctrl-Z is not read, and the reader's caller must be able to say so.
void TextLineReader::StopAtCtrlZ() {
  ++pos_;
  ++consumed_;
  if (pos_ < size_) {
    end_ = TextEnd::kCtrlZ;
    return;
  }
  if (source_ == TextEnd::kNotYet) {
    char next;
    long got = file_.Read(&next, 1);
    source_ = got > 0 ? TextEnd::kCtrlZ : SourceEnd(got);
  }
  end_ = source_;
}

bool TextLineReader::AtEnd() {
  if (!Fill()) return true;
  if (buffer_[pos_] == kCtrlZ) {
    StopAtCtrlZ();
    return true;
  }
  return false;
}

bool TextLineReader::ReadLine(std::string* line) {
  line->clear();
  if (AtEnd()) return false;
  const char line_end = framing_ == Framing::kLf ? '\n' : '\r';
  for (;;) {
    if (!Fill()) {
      if (end_ == TextEnd::kReadError) {
        line->clear();
        return false;
      }
      return true;  // last line without an end
    }
    if (buffer_[pos_] == kCtrlZ) {
      StopAtCtrlZ();
      return true;
    }
    char c = buffer_[pos_++];
    ++consumed_;
    if (c == line_end) {
      ++lines_ended_;
      // A LF right after the CR is part of the line end, even across reads.
      if (c == '\r' && Fill() && buffer_[pos_] == '\n') {
        ++pos_;
        ++consumed_;
      }
      return true;
    }
    line->push_back(c);
  }
}

std::int64_t TextLineReader::CopyRest(const std::function<bool(std::string_view)>& put,
                                      const std::function<void(std::string_view)>& each_line) {
  ChooseFraming();
  const bool lf_framed = framing_ == Framing::kLf;
  const char line_end = lf_framed ? '\n' : '\r';
  std::int64_t copied = 0;
  bool at_line_start = true;  // the reader stops only between lines
  bool after_cr = false;      // a LF that comes next belongs to that CR's line end
  std::string converted;
  // Only with each_line: the start of a line that runs on into the next
  // piece, the lines the piece ended (in the buffer, but for one that began
  // in an earlier piece), and that one.
  std::string carried;
  std::vector<std::string_view> ended;
  std::string first_whole;
  while (Fill()) {
    std::string_view piece(buffer_.data() + pos_, size_ - pos_);
    std::size_t ctrl_z = piece.find(kCtrlZ);
    piece = piece.substr(0, ctrl_z);
    std::int64_t ends = 0;
    converted.clear();
    ended.clear();
    for (std::size_t at = 0; at < piece.size();) {
      if (after_cr && piece[at] == '\n') {
        after_cr = false;
        ++at;
        continue;
      }
      after_cr = false;
      const std::size_t end = piece.find(line_end, at);
      const std::string_view text = piece.substr(at, end == std::string_view::npos ? end : end - at);
      if (!text.empty()) at_line_start = false;
      if (lf_framed) converted.append(text);
      if (end == std::string_view::npos) {
        if (each_line) carried.append(text);
        break;
      }
      ++ends;
      at_line_start = true;
      after_cr = !lf_framed;
      if (lf_framed) converted += kLineEnd;
      if (each_line && carried.empty()) {
        ended.push_back(text);
      } else if (each_line) {
        first_whole = carried.append(text);
        carried.clear();
        ended.push_back(first_whole);
      }
      at = end + 1;
    }
    pos_ += piece.size();
    consumed_ += static_cast<std::int64_t>(piece.size());
    lines_ended_ += ends;
    if (!piece.empty() && !put(lf_framed ? std::string_view(converted) : piece)) return copied;
    copied += ends;
    for (std::string_view whole : ended) each_line(whole);
    if (ctrl_z != std::string_view::npos) {
      StopAtCtrlZ();
      break;
    }
  }
  if (!at_line_start && put(kLineEnd)) {
    ++copied;
    if (each_line) each_line(carried);
  }
  return copied;
}

}  // namespace vantrel::text
