// Compares the one-pass address search with a regular-expression search for
// the same character classes, leftmost and greedy, on short texts of any
// bytes. Shared by the fuzzer and the test suite that replays its corpus.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <regex>
#include <string>

#include "probe/address_pattern.h"

namespace vantrel::fuzz {

inline constexpr std::size_t kMaxMatcherInput = 64;

// The reference, built from its parts so that a change of the address rules
// changes one line here: the classes are spelled out rather than left to
// icase, whose meaning for bytes above 127 depends on the locale.
inline const std::regex& ReferenceAddressPattern() {
  static const std::string local_char = "[A-Za-z0-9._/+-]";
  static const std::string domain_char = "[A-Za-z0-9.-]";
  // An apostrophe joins two runs of local-part characters ("o'brien").
  static const std::string local_part = local_char + "+(?:'" + local_char + "+)*";
  static const std::regex pattern(local_part + "@" + domain_char + "+");
  return pattern;
}

// Empty when both searches agree, else the text and both answers.
inline std::string CheckAddressMatcher(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxMatcherInput) return std::string();
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::optional<std::string> expected;
  std::smatch match;
  if (std::regex_search(text, match, ReferenceAddressPattern())) expected = match.str(0);
  std::optional<std::string> found = FindAddress(text);
  if (found == expected) return std::string();
  return "in \"" + text + "\" found \"" + found.value_or("(none)") + "\", the reference \"" +
         expected.value_or("(none)") + "\"";
}

}  // namespace vantrel::fuzz
