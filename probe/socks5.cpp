#include "probe/socks5.h"

#include <algorithm>
#include <iterator>
#include <limits>

#include "text/byte_cursor.h"

namespace vantrel {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::uint8_t kVersion = 5;
constexpr std::uint8_t kAuthenticationVersion = 1;
constexpr std::uint8_t kNoAuthentication = 0;
constexpr std::uint8_t kUserPassword = 2;
constexpr std::uint8_t kNoAcceptableMethods = 0xFF;
constexpr std::uint8_t kConnectCommand = 1;
constexpr std::uint8_t kSucceeded = 0;
constexpr std::uint8_t kIpv4 = 1;
constexpr std::uint8_t kDomainName = 3;
constexpr std::uint8_t kIpv6 = 4;
// The stop test is asked at least this often.
constexpr milliseconds kWaitSlice{250};

// Time left until deadline, in whole milliseconds, 0 once it has passed.
int RemainingMs(Clock::time_point deadline) {
  const milliseconds left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
  if (left <= milliseconds::zero()) return 0;
  return static_cast<int>(std::min<milliseconds::rep>(left.count(), std::numeric_limits<int>::max()));
}

// The requests and replies of one connection to the proxy, under one deadline.
class Exchange {
 public:
  Exchange(platform::ByteStream& stream, Clock::time_point deadline, const std::function<bool()>& give_up)
      : stream_(stream), deadline_(deadline), give_up_(give_up) {}

  SocksFailure Send(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      SocksFailure waiting = BeforeWait();
      if (waiting != SocksFailure::kNone) return waiting;
      platform::IoResult put =
          stream_.Send(reinterpret_cast<const char*>(bytes.data()) + done, bytes.size() - done, NextWait());
      if (put.status == platform::IoStatus::kTimeout) continue;
      if (put.status != platform::IoStatus::kOk || put.count == 0) return SocksFailure::kClosed;
      done += std::min(put.count, bytes.size() - done);
    }
    return SocksFailure::kNone;
  }

  // Takes exactly the bytes the reply says it has: a read never asks for
  // more than are still missing.
  SocksFailure Read(SocksReplyKind kind, SocksReply* reply) {
    std::vector<std::uint8_t> bytes;
    for (;;) {
      *reply = ReadSocksReply(kind, bytes);
      if (reply->state == SocksReply::State::kWhole) return SocksFailure::kNone;
      if (reply->state == SocksReply::State::kMalformed) return SocksFailure::kNotSocks5;
      SocksFailure waiting = BeforeWait();
      if (waiting != SocksFailure::kNone) return waiting;
      char buffer[512];
      platform::IoResult got = stream_.Receive(buffer, std::min(reply->missing, sizeof buffer), NextWait());
      if (got.status == platform::IoStatus::kTimeout) continue;
      if (got.status != platform::IoStatus::kOk || got.count == 0) return SocksFailure::kClosed;
      bytes.insert(bytes.end(), buffer, buffer + std::min(got.count, reply->missing));
    }
  }

 private:
  SocksFailure BeforeWait() const {
    if (give_up_ && give_up_()) return SocksFailure::kStopped;
    return RemainingMs(deadline_) > 0 ? SocksFailure::kNone : SocksFailure::kSilent;
  }
  int NextWait() const {
    const int left = RemainingMs(deadline_);
    return give_up_ ? std::min(left, static_cast<int>(kWaitSlice.count())) : left;
  }

  platform::ByteStream& stream_;
  Clock::time_point deadline_;
  const std::function<bool()>& give_up_;
};

std::vector<std::uint8_t> Greeting(const ProxyAddress& proxy) {
  // With credentials the proxy may still choose to want none.
  if (proxy.user.empty()) return {kVersion, 1, kNoAuthentication};
  return {kVersion, 2, kNoAuthentication, kUserPassword};
}

std::vector<std::uint8_t> Authentication(const ProxyAddress& proxy) {
  std::vector<std::uint8_t> request = {kAuthenticationVersion, static_cast<std::uint8_t>(proxy.user.size())};
  request.insert(request.end(), proxy.user.begin(), proxy.user.end());
  request.push_back(static_cast<std::uint8_t>(proxy.password.size()));
  request.insert(request.end(), proxy.password.begin(), proxy.password.end());
  return request;
}

std::vector<std::uint8_t> ConnectRequest(std::uint32_t address, std::uint16_t port) {
  return {kVersion,
          kConnectCommand,
          0,
          kIpv4,
          static_cast<std::uint8_t>(address & 0xFF),
          static_cast<std::uint8_t>((address >> 8) & 0xFF),
          static_cast<std::uint8_t>((address >> 16) & 0xFF),
          static_cast<std::uint8_t>(address >> 24),
          static_cast<std::uint8_t>(port >> 8),
          static_cast<std::uint8_t>(port & 0xFF)};
}

std::unique_ptr<platform::ByteStream> OpenSession(platform::Network& network, const ProxyAddress& proxy,
                                                  Clock::time_point deadline, const std::function<bool()>& give_up,
                                                  SocksOutcome& outcome) {
  platform::SocketsLease lease(network);
  std::uint32_t address = proxy.resolved;
  if (!lease.held() || (address == 0 && !network.ResolveHost(proxy.host, &address))) {
    outcome.failure = SocksFailure::kNoProxy;
    return nullptr;
  }
  const int left = RemainingMs(deadline);
  std::unique_ptr<platform::ByteStream> stream =
      left > 0 ? network.ConnectTcp(address, proxy.port, left, give_up) : nullptr;
  if (stream == nullptr) {
    outcome.failure = give_up && give_up() ? SocksFailure::kStopped : SocksFailure::kNoProxy;
    return nullptr;
  }
  Exchange exchange(*stream, deadline, give_up);
  SocksReply reply;
  outcome.failure = exchange.Send(Greeting(proxy));
  if (outcome.ok()) outcome.failure = exchange.Read(SocksReplyKind::kMethod, &reply);
  if (!outcome.ok()) return nullptr;
  if (reply.code == kNoAcceptableMethods) {
    outcome.failure = SocksFailure::kNoAcceptableMethod;
  } else if (reply.code == kUserPassword && !proxy.user.empty()) {
    outcome.failure = exchange.Send(Authentication(proxy));
    if (outcome.ok()) outcome.failure = exchange.Read(SocksReplyKind::kAuthentication, &reply);
    if (outcome.ok() && reply.code != 0) outcome.failure = SocksFailure::kCredentialsRefused;
  } else if (reply.code != kNoAuthentication) {
    outcome.failure = SocksFailure::kNotSocks5;  // a method we never offered
  }
  return outcome.ok() ? std::move(stream) : nullptr;
}

}  // namespace

std::string SocksWords(const SocksOutcome& outcome) {
  switch (outcome.failure) {
    case SocksFailure::kNone:
      return "connected";
    case SocksFailure::kNoProxy:
      return "no connection to the proxy";
    case SocksFailure::kSilent:
      return "no answer from the proxy in time";
    case SocksFailure::kClosed:
      return "the proxy closed the connection";
    case SocksFailure::kNotSocks5:
      return "the proxy does not speak SOCKS5";
    case SocksFailure::kNoAcceptableMethod:
      return "the proxy accepts none of our authentication methods";
    case SocksFailure::kCredentialsRefused:
      return "the proxy refused the user name or password";
    case SocksFailure::kStopped:
      return "stopped";
    case SocksFailure::kConnectFailed:
      break;
  }
  static const char* const kReplies[] = {
      "succeeded",           "general failure",      "connection not allowed by ruleset",
      "network unreachable", "host unreachable",     "connection refused",
      "TTL expired",         "command not supported", "address type not supported",
  };
  if (outcome.reply < std::size(kReplies)) return kReplies[outcome.reply];
  return "reply code " + std::to_string(outcome.reply);
}

SocksReply ReadSocksReply(SocksReplyKind kind, const std::vector<std::uint8_t>& bytes) {
  SocksReply reply;
  auto short_by = [&reply](std::size_t missing) {
    reply.missing = missing;
    return reply;
  };
  auto malformed = [&reply] {
    reply.state = SocksReply::State::kMalformed;
    return reply;
  };
  text::ByteCursor cursor(bytes);
  std::uint8_t version = 0;
  if (!cursor.ReadU8(&version)) return short_by(2);
  if (version != (kind == SocksReplyKind::kAuthentication ? kAuthenticationVersion : kVersion)) return malformed();
  if (!cursor.ReadU8(&reply.code)) return short_by(1);
  // A failed CONNECT has said all that matters in its code; some proxies
  // send nothing after it.
  if (kind == SocksReplyKind::kConnect && reply.code == kSucceeded) {
    std::uint8_t type = 0;
    if (!cursor.Skip(1) || !cursor.ReadU8(&type)) return short_by(4 - bytes.size());
    std::size_t address_size = 0;
    if (type == kIpv4) {
      address_size = 4;
    } else if (type == kIpv6) {
      address_size = 16;
    } else if (type == kDomainName) {
      std::uint8_t length = 0;
      if (!cursor.ReadU8(&length)) return short_by(1);
      address_size = length;
    } else {
      return malformed();
    }
    // The address and port the proxy bound are of no use to a client here.
    if (!cursor.Skip(address_size + 2)) return short_by(address_size + 2 - cursor.remaining());
  }
  // Bytes past the reply's end belong to no reply of this kind.
  if (cursor.remaining() > 0) return malformed();
  reply.state = SocksReply::State::kWhole;
  return reply;
}

std::unique_ptr<platform::ByteStream> OpenSocksSession(platform::Network& network, const ProxyAddress& proxy,
                                                       int wait_ms, const std::function<bool()>& give_up,
                                                       SocksOutcome* outcome) {
  SocksOutcome ignored;
  SocksOutcome& result = outcome != nullptr ? *outcome : ignored;
  result = SocksOutcome();
  return OpenSession(network, proxy, Clock::now() + milliseconds(wait_ms), give_up, result);
}

std::unique_ptr<platform::ByteStream> OpenSocksTunnel(platform::Network& network, const ProxyAddress& proxy,
                                                      std::uint32_t address, std::uint16_t port, int wait_ms,
                                                      const std::function<bool()>& give_up, SocksOutcome* outcome) {
  SocksOutcome ignored;
  SocksOutcome& result = outcome != nullptr ? *outcome : ignored;
  result = SocksOutcome();
  const Clock::time_point deadline = Clock::now() + milliseconds(wait_ms);
  std::unique_ptr<platform::ByteStream> stream = OpenSession(network, proxy, deadline, give_up, result);
  if (stream == nullptr) return nullptr;
  Exchange exchange(*stream, deadline, give_up);
  SocksReply reply;
  result.failure = exchange.Send(ConnectRequest(address, port));
  if (result.ok()) result.failure = exchange.Read(SocksReplyKind::kConnect, &reply);
  if (result.ok() && reply.code != kSucceeded) {
    result.failure = SocksFailure::kConnectFailed;
    result.reply = reply.code;
  }
  return result.ok() ? std::move(stream) : nullptr;
}

}  // namespace vantrel
