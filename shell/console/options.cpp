#include "shell/console/options.h"

#include "dialog/main_dialog.h"
#include "text/ipv4_text.h"

namespace vantrel::console {

const char kVersionText[] = "Vantrel " VANTREL_VERSION;  // CMake's project() version

const char kUsage[] =
    "Usage: vantrel [--from ADDRESS] [--list FILE] [--dns IPV4] [--errors remove|suspend|file]\n"
    "               [--helo NAME] [--report FILE] [--quiet]\n"
    "       vantrel --help | --version\n"
    "\n"
    "Checks every address of the member list against its domain's mail server\n"
    "(HELO, MAIL FROM, RCPT TO, QUIT; no message is sent), writes the result list\n"
    "FILE.OK, the run log vantrel.log and, with --errors file, the bad addresses\n"
    "to FILE.BAD. Settings come from Vantrel.INI in the current directory; the\n"
    "first four options change them for this run and are saved back to it at\n"
    "the end.\n"
    "\n"
    "  --from ADDRESS   the address given in MAIL FROM\n"
    "  --list FILE      the member list\n"
    "  --dns IPV4       the DNS server asked for every domain's MX records\n"
    "  --errors MODE    what happens to bad addresses: remove them from the result\n"
    "                   list, suspend them there (\"+\" in front), or write them to\n"
    "                   FILE.BAD\n"
    "  --helo NAME      the name given in HELO, for this run only (not saved).\n"
    "                   Mail servers accept a fully qualified name of this host\n"
    "                   that has a DNS A record, best one that matches the\n"
    "                   reverse DNS of the address the connections come from.\n"
    "                   Without it, this computer's fully qualified name.\n"
    "  --report FILE    also write a CSV report, one row per line of the list:\n"
    "                   line number, line, outcome, verdict code and message,\n"
    "                   mail host, the server's last reply\n"
    "  --quiet          print only the Results text, warnings and errors\n"
    "  --help           show this text\n"
    "  --version        show the version\n"
    "\n"
    "Every address ends one of three ways. Good: its mail server accepted the\n"
    "recipient; the line is kept. Bad: the address's own mail server refused the\n"
    "recipient for good (a 5xx reply to RCPT TO), or the line holds no address;\n"
    "--errors decides what happens to it. Try again: nothing was learnt about\n"
    "the recipient this time (no DNS answer, no connection, a greylisting 4xx\n"
    "reply, a refused sender); the line is kept with \"++\" in front, counted\n"
    "with the bad ones, never removed, and checked again by the next run.\n"
    "\n"
    "Exit status: 0 after a finished run (its Results shown), 1 when the run\n"
    "could not start (the list, the run log, the FROM address or the report\n"
    "file unusable), 2 for a bad option, 128 plus the signal number when\n"
    "interrupted.\n";

std::optional<std::string> CanonicalIpv4(const std::string& text) {
  std::optional<std::array<std::uint8_t, 4>> quad = text::ReadDottedQuad(text);
  if (!quad) return std::nullopt;
  std::string canonical;
  for (std::uint8_t part : *quad) canonical += (canonical.empty() ? "" : ".") + std::to_string(part);
  return canonical;
}

namespace {

std::optional<int> ErrorButton(const std::string& mode) {
  if (mode == "remove") return kRemoveButton;
  if (mode == "suspend") return kSuspendButton;
  if (mode == "file") return kWriteToFileButton;
  return std::nullopt;
}

// A HELO line is "HELO " and the name: a blank or a control character in
// the name would change the command or add another.
bool IsHeloName(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7f) return false;
  }
  return true;
}

}  // namespace

ParseResult ParseOptions(const std::vector<std::string>& arguments) {
  ParseResult result;
  Options& options = result.options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string name = arguments[i];
    std::optional<std::string> inline_value;
    std::size_t equals = name.find('=');
    if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
      inline_value = name.substr(equals + 1);
      name.resize(equals);
    }

    if (name == "--help" || name == "--version" || name == "--quiet") {
      if (inline_value) {
        result.error = name + " takes no value";
        return result;
      }
      (name == "--help" ? options.help : name == "--version" ? options.version : options.quiet) = true;
      continue;
    }
    if (name != "--from" && name != "--list" && name != "--dns" && name != "--errors" && name != "--helo" &&
        name != "--report") {
      result.error = "unknown option \"" + arguments[i] + "\"";
      return result;
    }
    std::string value;
    if (inline_value) {
      value = *inline_value;
    } else if (i + 1 < arguments.size()) {
      value = arguments[++i];
    } else {
      result.error = name + " needs a value";
      return result;
    }

    if (name == "--from") {
      options.from = value;
    } else if (name == "--list") {
      options.list = value;
    } else if (name == "--report") {
      if (value.empty()) {
        result.error = "--report needs a file name";
        return result;
      }
      options.report = value;
    } else if (name == "--helo") {
      if (!IsHeloName(value)) {
        result.error = "--helo needs a name without blanks or control characters, not \"" + value + "\"";
        return result;
      }
      options.helo = value;
    } else if (name == "--dns") {
      options.dns = CanonicalIpv4(value);
      if (!options.dns) {
        result.error = "--dns needs an IPv4 address such as 127.0.0.1, not \"" + value + "\"";
        return result;
      }
    } else {
      options.error_button = ErrorButton(value);
      if (!options.error_button) {
        result.error = "--errors takes remove, suspend or file, not \"" + value + "\"";
        return result;
      }
    }
  }
  return result;
}

}  // namespace vantrel::console
