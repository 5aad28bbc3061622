#include "probe/address_pattern.h"

#include <cstring>

namespace vantrel {

namespace {

bool IsAsciiLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

// The classes of the pattern ([a-z0-9._/+-]+('[a-z0-9._/+-]+)*)(@[a-z0-9.-]+),
// letters in either case. An apostrophe joins two local-part characters
// (o'brien@, d'angelo@ are real mailboxes); at either end of a local part it
// is a quote around the address. Everything else outside the classes, "_" in
// the domain included, cuts the address there: exported lists put "=", "|"
// and "&" between fields, and widening the classes would glue fields together.
bool IsLocalPartChar(char c) {
  static constexpr char kSigns[] = "._/+-";
  return IsAsciiLetterOrDigit(c) || (c != '\0' && std::strchr(kSigns, c) != nullptr);
}

bool IsDomainChar(char c) { return IsAsciiLetterOrDigit(c) || c == '.' || c == '-'; }

std::optional<std::string> FindAddress(std::string_view text) {
  // "@" is no local-part character and an apostrophe only ever stands
  // between two of them, so a local part ends exactly where its chain of
  // characters and joining apostrophes ends: every start inside one chain
  // shares the same end, and the chain's first character is the leftmost
  // start. One pass suffices.
  const std::size_t n = text.size();
  auto joins = [&](std::size_t at) {
    return text[at] == '\'' && at + 1 < n && IsLocalPartChar(text[at + 1]);
  };
  std::size_t i = 0;
  while (i < n) {
    if (!IsLocalPartChar(text[i])) {
      ++i;
      continue;
    }
    const std::size_t start = i;
    while (i < n && (IsLocalPartChar(text[i]) || joins(i))) ++i;
    if (i + 1 < n && text[i] == '@' && IsDomainChar(text[i + 1])) {
      std::size_t end = i + 1;
      while (end < n && IsDomainChar(text[end])) ++end;
      return std::string(text.substr(start, end - start));
    }
  }
  return std::nullopt;
}

std::optional<std::string> FindMailbox(std::string_view text) {
  std::optional<std::string> address = FindAddress(text);
  if (address && address->size() > 1 && address->back() == '.' && (*address)[address->size() - 2] != '@') {
    address->pop_back();
  }
  return address;
}

}  // namespace vantrel
