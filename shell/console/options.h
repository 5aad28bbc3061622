// The console's command line: the values a user would type into the dialog's
// controls before pressing Go, what this run alone gets (HELO name, proxy,
// report, quiet output), and the two informational switches.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "probe/proxy_address.h"

namespace vantrel::console {

struct Options {
  std::optional<std::string> from;      // --from TEXT
  std::optional<std::string> list;      // --list FILE
  std::optional<std::string> dns;       // --dns ADDRESS, a dotted IPv4 address
  std::optional<int> error_button;      // --errors remove|suspend|file, as the button's control id
  std::optional<std::string> helo;      // --helo NAME, for this run only
  std::optional<ProxyAddress> proxy;    // --proxy URL, for this run only
  std::optional<std::string> report;    // --report FILE
  bool quiet = false;                   // --quiet
  bool accept_all_check = false;        // --accept-all-check
  bool help = false;
  bool version = false;
};

struct ParseResult {
  Options options;
  std::string error;  // empty when the command line is good
};

ParseResult ParseOptions(const std::vector<std::string>& arguments);

// Four decimal numbers 0-255 joined by dots, written the way the address
// control shows them ("010.0.0.1" becomes "10.0.0.1", never octal); nothing
// for any other text.
std::optional<std::string> CanonicalIpv4(const std::string& text);

extern const char kUsage[];
extern const char kVersionText[];

}  // namespace vantrel::console
