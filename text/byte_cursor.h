// A read position over untrusted bytes: DNS replies and SOCKS5 replies. Every
// fetch checks what remains and fails without moving when the bytes run out,
// so a reply can never be read past its end however its counts and offsets lie.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrel::text {

class ByteCursor {
 public:
  explicit ByteCursor(const std::vector<std::uint8_t>& bytes, std::size_t position = 0)
      : bytes_(bytes), position_(position <= bytes.size() ? position : bytes.size()) {}

  std::size_t position() const { return position_; }
  std::size_t size() const { return bytes_.size(); }
  std::size_t remaining() const { return bytes_.size() - position_; }

  // The end itself is a valid position; anything beyond is refused.
  bool Seek(std::size_t position) {
    if (position > bytes_.size()) return false;
    position_ = position;
    return true;
  }

  bool Skip(std::size_t count) {
    if (count > remaining()) return false;
    position_ += count;
    return true;
  }

  bool ReadU8(std::uint8_t* value) {
    if (remaining() < 1) return false;
    *value = bytes_[position_++];
    return true;
  }

  // Network order (big-endian).
  bool ReadU16(std::uint16_t* value) {
    if (remaining() < 2) return false;
    *value = static_cast<std::uint16_t>((bytes_[position_] << 8) | bytes_[position_ + 1]);
    position_ += 2;
    return true;
  }

  bool ReadU32(std::uint32_t* value) {
    if (remaining() < 4) return false;
    std::uint32_t result = 0;
    for (int i = 0; i < 4; ++i) result = (result << 8) | bytes_[position_ + i];
    *value = result;
    position_ += 4;
    return true;
  }

 private:
  const std::vector<std::uint8_t>& bytes_;
  std::size_t position_;
};

}  // namespace vantrel::text
