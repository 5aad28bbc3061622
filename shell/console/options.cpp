#include "shell/console/options.h"

#include "dialog/main_dialog.h"
#include "text/ipv4_text.h"

namespace vantrel::console {

const char kVersionText[] = "Vantrel " VANTREL_VERSION;  // CMake's project() version

const char kUsage[] =
    "Usage: vantrel [--from ADDRESS] [--list FILE] [--dns IPV4] [--errors remove|suspend|file]\n"
    "               [--helo NAME] [--proxy URL] [--report FILE] [--accept-all-check]\n"
    "               [--quiet]\n"
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
    "  --proxy URL      connect to every mail server through this SOCKS5 proxy,\n"
    "                   socks5://[USER:PASSWORD@]HOST:PORT, for this run only\n"
    "                   (not saved; a PROXY= line in Vantrel.INI sets one for\n"
    "                   every run). Use it where port 25 is blocked, for example\n"
    "                   through ssh -N -D 1080 user@host and\n"
    "                   --proxy socks5://127.0.0.1:1080, and give --helo the\n"
    "                   proxy host's name: mail servers see its address. DNS\n"
    "                   lookups still go straight to the DNS server.\n"
    "  --report FILE    also write a CSV report, one row per line of the list:\n"
    "                   line number, line, outcome, verdict code and message,\n"
    "                   mail host, the server's last reply, the reason (man\n"
    "                   vantrel lists every reason) and the accept-all mark.\n"
    "                   Never one of the run's own files (the list, its .OK\n"
    "                   and .BAD files, Vantrel.INI, vantrel.log): those are\n"
    "                   refused\n"
    "  --accept-all-check\n"
    "                   at each domain with a good address, also probe one\n"
    "                   address that cannot exist: a server that accepts it\n"
    "                   accepts any address, so \"good\" says little there.\n"
    "                   The report's accept_all column and the Results tell.\n"
    "                   Costs one more probe per domain; off by default, as\n"
    "                   some servers count probes of unknown recipients\n"
    "                   against the sender. Changes no verdict; not saved.\n"
    "  --quiet          print only the Results text, warnings and errors\n"
    "  --help           show this text\n"
    "  --version        show the version\n"
    "\n"
    "Every address ends one of three ways. Good: its mail server accepted the\n"
    "recipient; the line is kept. Bad: the address's own mail server refused the\n"
    "recipient for good (a 5xx reply to RCPT TO about the recipient), its domain\n"
    "takes no mail (a null MX), or the line holds no address; --errors decides\n"
    "what happens to it. Try again: nothing was learnt about the recipient this\n"
    "time (no DNS answer, no connection, a greylisting 4xx reply, a refused\n"
    "sender, a 5xx reply that refuses this computer, its HELO name or its\n"
    "sender, or names relaying or a full mailbox); the line is kept with \"++\"\n"
    "in front, counted with the bad ones, never removed, and checked again by\n"
    "the next run. A mail server that refused this computer is not asked again\n"
    "in the same run.\n"
    "\n"
    "Exit status: 0 after a finished run (its Results shown), 1 when the run\n"
    "could not start (the list, the run log, the FROM address, the proxy or\n"
    "the report file unusable), 2 for a bad option, 128 plus the signal number\n"
    "when interrupted; the lines not checked yet then go to the result list\n"
    "unchanged, so that it still holds the whole list (and the report has a\n"
    "row for each, with the reason stopped). An interrupted run whose result\n"
    "list could not be written in full says so in an ERROR line and ends with\n"
    "status 1.\n";

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

ParseResult ParseEach(const std::vector<std::string>& arguments) {
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

    if (name == "--help" || name == "--version" || name == "--quiet" || name == "--accept-all-check") {
      if (inline_value) {
        result.error = name + " takes no value";
        return result;
      }
      (name == "--help"      ? options.help
       : name == "--version" ? options.version
       : name == "--quiet"   ? options.quiet
                             : options.accept_all_check) = true;
      continue;
    }
    if (name != "--from" && name != "--list" && name != "--dns" && name != "--errors" && name != "--helo" &&
        name != "--proxy" && name != "--report") {
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
    } else if (name == "--proxy") {
      ProxyUrl parsed = ParseProxyUrl(value);
      if (!parsed.proxy) {
        result.error = "--proxy: " + ProxyUrlProblem(parsed.error);
        return result;
      }
      options.proxy = parsed.proxy;
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

}  // namespace

ParseResult ParseOptions(const std::vector<std::string>& arguments) {
  // An error may quote what was typed, and a proxy URL typed in the wrong
  // place carries its password.
  ParseResult result = ParseEach(arguments);
  result.error = WithoutPassword(std::move(result.error));
  return result;
}

}  // namespace vantrel::console
