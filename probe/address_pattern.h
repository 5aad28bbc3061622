// Picks the e-mail address out of a text such as a FROM box ("List owner
// <owner@example.com>") or a member list line: the leftmost run of
// local-part characters that is directly followed by "@" and a domain
// character, with the longest domain after it. Letters match in either case
// and keep their case. Linear in the length of the text, however long.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// Local part: ASCII letters, digits and . _ / + -, and an apostrophe
// between two of them.
// Domain: ASCII letters, digits and . -
bool IsLocalPartChar(char c);
bool IsDomainChar(char c);

// The whole address as it stands in text, or nothing when text holds none.
std::optional<std::string> FindAddress(std::string_view text);

// The address as a mail server and the DNS know it: a domain written with
// its final dot ("anna@example.org.") names the same mailbox without it.
std::optional<std::string> FindMailbox(std::string_view text);

}  // namespace vantrel
