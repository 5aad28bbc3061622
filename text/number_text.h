// Reading a number at the start of a text, the way the settings file and the
// SMTP reply test read them: leading blanks, tabs and LFs are skipped, then
// the longest leading number is taken: a decimal with optional sign, point and
// exponent (E or D), or a radix number "&H" hex, "&B" binary, "&O"/"&Q"/"&"
// octal. A text that does not begin with a number reads as 0.
#pragma once

#include <cstdint>
#include <string_view>

namespace vantrel::text {

double ReadLeadingNumber(std::string_view text);

// ReadLeadingNumber rounded to the nearest integer, halves to even, and held
// within the 32-bit range (a value beyond it takes the nearest end; NaN gives 0).
std::int32_t ReadLeadingInteger(std::string_view text);

}  // namespace vantrel::text
