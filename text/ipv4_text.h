// An IPv4 address as the DNS Server field shows it: four decimal numbers
// 0-255 of one to three digits each, joined by dots, nothing before, between
// or after ("010.0.0.1" is 10.0.0.1, never octal).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vantrel::text {

// The four numbers, first first; nothing for any other text.
std::optional<std::array<std::uint8_t, 4>> ReadDottedQuad(std::string_view text);

}  // namespace vantrel::text
