// Parses a console command line of any bytes and checks what a good parse
// must give: a DNS server only as a canonical dotted IPv4 address, an error
// mode only as one of the three buttons, and values that, written back as
// options, parse to the same. Shared by the fuzzer and the test suite that
// replays its corpus. The input is the arguments, NUL between them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dialog/main_dialog.h"
#include "shell/console/options.h"

namespace vantrel::fuzz {

inline std::vector<std::string> SplitArguments(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      arguments.emplace_back();
    } else {
      arguments.back().push_back(static_cast<char>(data[i]));
    }
  }
  if (size == 0) arguments.clear();
  return arguments;
}

// Four numbers 0-255 in decimal without leading zeros, joined by dots.
inline bool IsCanonicalIpv4(const std::string& text) {
  int parts = 0;
  std::size_t i = 0;
  while (i <= text.size()) {
    std::size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    std::size_t digits = i - start;
    if (digits == 0 || digits > 3 || (digits > 1 && text[start] == '0')) return false;
    if (std::stoi(text.substr(start, digits)) > 255) return false;
    ++parts;
    if (i == text.size()) return parts == 4;
    if (text[i] != '.') return false;
    ++i;
  }
  return false;
}

inline std::string ModeName(int button) {
  if (button == kRemoveButton) return "remove";
  if (button == kSuspendButton) return "suspend";
  if (button == kWriteToFileButton) return "file";
  return std::string();
}

// Empty when the parse held, else what went wrong.
inline std::string CheckCommandLine(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> arguments = SplitArguments(data, size);
  const console::ParseResult parsed = console::ParseOptions(arguments);
  if (!parsed.error.empty()) return std::string();
  const console::Options& options = parsed.options;

  if (options.dns && !IsCanonicalIpv4(*options.dns)) return "took \"" + *options.dns + "\" for a DNS server";
  if (options.error_button && ModeName(*options.error_button).empty()) {
    return "took control " + std::to_string(*options.error_button) + " for an error mode";
  }

  std::vector<std::string> written;
  if (options.from) written.push_back("--from=" + *options.from);
  if (options.list) written.push_back("--list=" + *options.list);
  if (options.dns) written.push_back("--dns=" + *options.dns);
  if (options.error_button) written.push_back("--errors=" + ModeName(*options.error_button));
  if (options.help) written.push_back("--help");
  if (options.version) written.push_back("--version");
  const console::ParseResult again = console::ParseOptions(written);
  if (!again.error.empty()) return "the parsed values, written back, failed: " + again.error;
  const console::Options& o = again.options;
  if (o.from != options.from || o.list != options.list || o.dns != options.dns ||
      o.error_button != options.error_button || o.help != options.help || o.version != options.version) {
    return "the parsed values, written back, parse differently";
  }
  return std::string();
}

}  // namespace vantrel::fuzz
