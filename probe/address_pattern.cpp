#include "probe/address_pattern.h"

#include <cstring>

namespace vantrel {

namespace {

bool IsAsciiLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

// The classes of the pattern ([a-z0-9._/+-]+)(@[a-z0-9.-]+), letters in
// either case. A character outside them (an apostrophe, "_" in the domain)
// cuts the address there, so o'brien@ is tested as brien@. Widening them
// would change what RCPT TO sends for such lines; that is a deliberate
// product decision, not a parser fix.
bool IsLocalPartChar(char c) {
  static constexpr char kSigns[] = "._/+-";
  return IsAsciiLetterOrDigit(c) || (c != '\0' && std::strchr(kSigns, c) != nullptr);
}

bool IsDomainChar(char c) { return IsAsciiLetterOrDigit(c) || c == '.' || c == '-'; }

std::optional<std::string> FindAddress(std::string_view text) {
  // "@" is no local-part character, so a local part ends exactly where its
  // run of characters ends: every start inside one run shares the same end,
  // and the run's first character is the leftmost start. One pass suffices.
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    if (!IsLocalPartChar(text[i])) {
      ++i;
      continue;
    }
    const std::size_t start = i;
    while (i < n && IsLocalPartChar(text[i])) ++i;
    if (i + 1 < n && text[i] == '@' && IsDomainChar(text[i + 1])) {
      std::size_t end = i + 1;
      while (end < n && IsDomainChar(text[end])) ++end;
      return std::string(text.substr(start, end - start));
    }
  }
  return std::nullopt;
}

}  // namespace vantrel
