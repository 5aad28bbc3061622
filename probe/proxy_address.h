// The SOCKS5 proxy a run may send its SMTP connections through, as the user
// names it: socks5://[USER:PASSWORD@]HOST:PORT. The password is kept for the
// proxy alone; every text meant for a person shows the proxy without it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vantrel {

struct ProxyAddress {
  std::string host;  // a name or a dotted IPv4 address
  std::uint16_t port = 0;
  std::string user;      // empty: no authentication
  std::string password;  // percent-escapes decoded
  // The host's IPv4 address once a run has looked it up, so that no
  // connection waits on the system resolver again; 0: not yet.
  std::uint32_t resolved = 0;

  std::string HostPort() const;  // "HOST:PORT"
  std::string Shown() const;     // "socks5://USER@HOST:PORT", or without "USER@"
};

enum class ProxyUrlError {
  kNone,
  kNoScheme,        // no "socks5://" in front
  kOtherScheme,     // http://, socks4://, socks5h:// and the like
  kBadHost,         // empty, or other than letters, digits, dots and hyphens
  kBadPort,         // missing, 0, past 65535, or anything after it
  kNoPassword,      // a user name without ":PASSWORD"
  kBadCredentials,  // user name or password empty or longer than 255 bytes
  kBadEscape,       // a % without two hex digits after it
};

struct ProxyUrl {
  std::optional<ProxyAddress> proxy;  // set when error is kNone
  ProxyUrlError error = ProxyUrlError::kNone;
};

ProxyUrl ParseProxyUrl(const std::string& text);

// What is wrong, in words that never repeat the text itself.
std::string ProxyUrlProblem(ProxyUrlError error);

// The text with the password of any "scheme://user:password@" in it left
// out, for echoing what a user typed.
std::string WithoutPassword(std::string text);

}  // namespace vantrel
