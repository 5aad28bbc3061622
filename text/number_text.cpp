#include "text/number_text.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace vantrel::text {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// "&H1F", "&B101", "&O17", "&Q17", "&17". Radix numbers are 32-bit patterns:
// "&HFFFFFFFF" is -1, as the 32-bit value it names. More than 32 bits is out
// of range and reads as the largest value, never as the low bits: "&H100000000"
// must not turn into 0, which would read as "unchecked" or "no number".
double ReadRadix(std::string_view text, std::size_t i) {
  int radix = 8;
  if (i < text.size()) {
    char c = text[i];
    if (c == 'H' || c == 'h') { radix = 16; ++i; }
    else if (c == 'B' || c == 'b') { radix = 2; ++i; }
    else if (c == 'O' || c == 'o' || c == 'Q' || c == 'q') { radix = 8; ++i; }
  }
  std::uint64_t value = 0;
  bool too_large = false;
  for (; i < text.size() && DigitValue(text[i]) < radix; ++i) {
    value = value * static_cast<std::uint64_t>(radix) + static_cast<std::uint64_t>(DigitValue(text[i]));
    if (value > 0xFFFFFFFFull) {
      too_large = true;
      value = 0;  // the rest of the digits are still part of this number
    }
  }
  if (too_large) return static_cast<double>(std::numeric_limits<std::int32_t>::max());
  return static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
}

}  // namespace

double ReadLeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) ++i;
  if (i < text.size() && text[i] == '&') return ReadRadix(text, i + 1);

  // Copy the longest decimal prefix into a form strtod reads: D becomes E.
  std::string number;
  std::size_t j = i;
  if (j < text.size() && (text[j] == '+' || text[j] == '-')) number.push_back(text[j++]);
  bool digits = false;
  while (j < text.size() && IsDigit(text[j])) { number.push_back(text[j++]); digits = true; }
  if (j < text.size() && text[j] == '.') {
    number.push_back(text[j++]);
    while (j < text.size() && IsDigit(text[j])) { number.push_back(text[j++]); digits = true; }
  }
  if (!digits) return 0.0;
  if (j < text.size() && (text[j] == 'E' || text[j] == 'e' || text[j] == 'D' || text[j] == 'd')) {
    std::size_t k = j + 1;
    std::string exponent = "e";
    if (k < text.size() && (text[k] == '+' || text[k] == '-')) exponent.push_back(text[k++]);
    bool exponent_digits = false;
    while (k < text.size() && IsDigit(text[k])) { exponent.push_back(text[k++]); exponent_digits = true; }
    if (exponent_digits) number += exponent;
  }
  return std::strtod(number.c_str(), nullptr);  // overflow gives +-HUGE_VAL
}

std::int32_t ReadLeadingInteger(std::string_view text) {
  double value = ReadLeadingNumber(text);
  if (std::isnan(value)) return 0;
  constexpr double kMin = std::numeric_limits<std::int32_t>::min();
  constexpr double kMax = std::numeric_limits<std::int32_t>::max();
  if (value <= kMin) return std::numeric_limits<std::int32_t>::min();
  if (value >= kMax) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(std::nearbyint(value));  // default mode: halves to even
}

}  // namespace vantrel::text
