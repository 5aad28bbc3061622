// ASCII case folding for names that are compared without regard to case
// (domains, host names, URL schemes, words of a mail server's reply). Only
// A-Z change: the locale never plays a part, and other bytes pass as they are.
#pragma once

#include <string>

namespace vantrel::text {

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string AsciiLower(std::string text) {
  for (char& c : text) c = AsciiLower(c);
  return text;
}

}  // namespace vantrel::text
