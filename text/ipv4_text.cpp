#include "text/ipv4_text.h"

namespace vantrel::text {

std::optional<std::array<std::uint8_t, 4>> ReadDottedQuad(std::string_view text) {
  std::array<std::uint8_t, 4> quad{};
  std::size_t at = 0;
  for (std::size_t part = 0; part < quad.size(); ++part) {
    if (part > 0 && (at >= text.size() || text[at++] != '.')) return std::nullopt;
    std::size_t digits = 0;
    int value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 3) {
      value = value * 10 + (text[at++] - '0');
      ++digits;
    }
    if (digits == 0 || value > 255) return std::nullopt;
    quad[part] = static_cast<std::uint8_t>(value);
  }
  if (at != text.size()) return std::nullopt;
  return quad;
}

}  // namespace vantrel::text
