#include "probe/proxy_address.h"

#include <algorithm>
#include <cctype>

#include "text/ascii_case.h"

namespace vantrel {

namespace {

// RFC 1929 gives each of them one length byte, and no room for nothing.
constexpr std::size_t kMaxCredential = 255;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A user name or password may carry ":", "@" or any byte as %XX.
std::optional<std::string> PercentDecoded(const std::string& text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded.push_back(text[i]);
      continue;
    }
    const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
    const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
    if (low < 0) return std::nullopt;
    decoded.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return decoded;
}

// The user name as it would be typed back into a URL.
std::string PercentEncoded(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || c == '-' || c == '.' || c == '_' || c == '~') {
      encoded.push_back(c);
    } else {
      encoded += {'%', kHex[byte >> 4], kHex[byte & 15]};
    }
  }
  return encoded;
}

bool IsHostName(const std::string& host) {
  return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-';
  });
}

std::optional<std::uint16_t> PortNumber(const std::string& text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

bool IsSocks5(const std::string& scheme) {
  return text::AsciiLower(scheme) == "socks5";
}

}  // namespace

std::string ProxyAddress::HostPort() const { return host + ":" + std::to_string(port); }

std::string ProxyAddress::Shown() const {
  return "socks5://" + (user.empty() ? std::string() : PercentEncoded(user) + "@") + HostPort();
}

ProxyUrl ParseProxyUrl(const std::string& text) {
  ProxyUrl result;
  auto fail = [&result](ProxyUrlError error) {
    result.error = error;
    return result;
  };
  const std::size_t mark = text.find("://");
  if (mark == std::string::npos) return fail(ProxyUrlError::kNoScheme);
  if (!IsSocks5(text.substr(0, mark))) return fail(ProxyUrlError::kOtherScheme);
  std::string rest = text.substr(mark + 3);
  ProxyAddress proxy;
  // The last "@" ends the credentials, so an unescaped "@" in a password still works.
  const std::size_t at = rest.rfind('@');
  if (at != std::string::npos) {
    const std::string credentials = rest.substr(0, at);
    rest.erase(0, at + 1);
    const std::size_t colon = credentials.find(':');
    if (colon == std::string::npos) return fail(ProxyUrlError::kNoPassword);
    std::optional<std::string> user = PercentDecoded(credentials.substr(0, colon));
    std::optional<std::string> password = PercentDecoded(credentials.substr(colon + 1));
    if (!user || !password) return fail(ProxyUrlError::kBadEscape);
    for (const std::string* part : {&*user, &*password}) {
      if (part->empty() || part->size() > kMaxCredential) return fail(ProxyUrlError::kBadCredentials);
    }
    proxy.user = std::move(*user);
    proxy.password = std::move(*password);
  }
  const std::size_t colon = rest.rfind(':');
  proxy.host = rest.substr(0, colon);
  if (!IsHostName(proxy.host)) return fail(ProxyUrlError::kBadHost);
  std::optional<std::uint16_t> port = colon == std::string::npos ? std::nullopt : PortNumber(rest.substr(colon + 1));
  if (!port) return fail(ProxyUrlError::kBadPort);
  proxy.port = *port;
  result.proxy = std::move(proxy);
  return result;
}

std::string ProxyUrlProblem(ProxyUrlError error) {
  switch (error) {
    case ProxyUrlError::kNone:
      break;
    case ProxyUrlError::kNoScheme:
      return "the proxy must be given as a URL that begins with socks5://";
    case ProxyUrlError::kOtherScheme:
      return "only socks5:// proxies are supported (not http://, socks4:// or socks5h://)";
    case ProxyUrlError::kBadHost:
      return "the proxy's host must be a name or an IPv4 address (letters, digits, dots and hyphens)";
    case ProxyUrlError::kBadPort:
      return "the proxy's host must be followed by \":\" and a port number from 1 to 65535, and nothing else";
    case ProxyUrlError::kNoPassword:
      return "a user name must be followed by \":\" and the password, then \"@\" and the host";
    case ProxyUrlError::kBadCredentials:
      return "the user name and the password must each be 1 to 255 bytes long";
    case ProxyUrlError::kBadEscape:
      return "a \"%\" in the user name or password must be followed by two hexadecimal digits";
  }
  return std::string();
}

std::string WithoutPassword(std::string text) {
  for (std::size_t mark = text.find("://"); mark != std::string::npos; mark = text.find("://", mark + 3)) {
    const std::size_t at = text.rfind('@');
    if (at == std::string::npos || at < mark + 3) break;
    const std::size_t colon = text.find(':', mark + 3);
    if (colon < at) text.erase(colon, at - colon);
  }
  return text;
}

}  // namespace vantrel
