// The SOCKS5 client (RFC 1928, with RFC 1929's user name and password): a
// TCP connection to the proxy, its greeting, and a CONNECT to one IPv4
// address and port, after which the stream carries the mail server's bytes.
// Every exchange ends by one deadline, and the stop test is asked between
// waits of at most a quarter second.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/byte_stream.h"
#include "platform/network.h"
#include "probe/proxy_address.h"

namespace vantrel {

enum class SocksFailure {
  kNone,
  kNoProxy,              // the proxy's host gave no address, or no connection to it opened
  kSilent,               // a reply was not whole by the deadline
  kClosed,               // the proxy closed the connection, or it failed, before a reply was whole
  kNotSocks5,            // a reply that is not the one SOCKS5 gives there
  kNoAcceptableMethod,   // neither "no authentication" nor user name and password
  kCredentialsRefused,
  kConnectFailed,        // CONNECT answered with a failure code
  kStopped,              // the stop test said so
};

struct SocksOutcome {
  SocksFailure failure = SocksFailure::kNone;
  std::uint8_t reply = 0;  // the CONNECT reply's code, for kConnectFailed

  bool ok() const { return failure == SocksFailure::kNone; }
};

// What happened, in a few words for the log, a message or a warning:
// "connection refused", "no answer from the proxy in time".
std::string SocksWords(const SocksOutcome& outcome);

// The three replies a client reads, as far as they have come. A reply is
// read to its last byte and no further, so whatever follows it on the
// stream stays for the mail server's dialogue.
enum class SocksReplyKind { kMethod, kAuthentication, kConnect };
struct SocksReply {
  enum class State { kShort, kWhole, kMalformed };
  State state = State::kShort;
  std::size_t missing = 0;  // when short: bytes still due before more can be said
  std::uint8_t code = 0;    // when whole: the chosen method, the status, or the reply code
};
SocksReply ReadSocksReply(SocksReplyKind kind, const std::vector<std::uint8_t>& bytes);

// A connection to the proxy, greeted and authenticated, within wait_ms in
// all; null, with the cause in outcome, when any of it failed.
std::unique_ptr<platform::ByteStream> OpenSocksSession(platform::Network& network, const ProxyAddress& proxy,
                                                       int wait_ms, const std::function<bool()>& give_up,
                                                       SocksOutcome* outcome);

// The same, then a CONNECT to address (in_addr order) and port, all within
// wait_ms: the stream then reaches that host through the proxy.
std::unique_ptr<platform::ByteStream> OpenSocksTunnel(platform::Network& network, const ProxyAddress& proxy,
                                                      std::uint32_t address, std::uint16_t port, int wait_ms,
                                                      const std::function<bool()>& give_up, SocksOutcome* outcome);

}  // namespace vantrel
