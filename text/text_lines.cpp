#include "text/text_lines.h"

namespace vantrel::text {

namespace {
constexpr char kCtrlZ = 26;
}

bool TextLineReader::Fill() {
  if (ended_) return false;
  if (pos_ < size_) return true;
  long got = file_.Read(buffer_.data(), buffer_.size());
  if (got <= 0) {
    ended_ = true;
    return false;
  }
  pos_ = 0;
  size_ = static_cast<std::size_t>(got);
  return true;
}

bool TextLineReader::AtEnd() {
  if (ended_) return true;
  if (!Fill()) return true;
  if (buffer_[pos_] == kCtrlZ) {
    ++consumed_;
    ended_ = true;
    return true;
  }
  return false;
}

bool TextLineReader::ReadLine(std::string* line) {
  line->clear();
  if (AtEnd()) return false;
  for (;;) {
    if (!Fill()) return true;  // last line without an end
    char c = buffer_[pos_++];
    ++consumed_;
    if (c == kCtrlZ) {
      ended_ = true;
      return true;
    }
    if (c == '\r') {
      // A LF right after the CR is part of the line end, even across reads.
      if (Fill() && buffer_[pos_] == '\n') {
        ++pos_;
        ++consumed_;
      }
      return true;
    }
    line->push_back(c);
  }
}

}  // namespace vantrel::text
