// The MX lookup's exchange: one UDP datagram to the configured DNS server and
// the first datagram back. The run makes three calls per address:
//   Bytes q = BuildQuery(domain, kTypeMx, kClassIn);
//   Bytes r = ExchangeQuery(network, server, q);
//   int result = ReadMxReply(network, r, &list);
//
// Results, each reported by ReadMxReply:
//   no server given, or the sockets library cannot start         -10 at once
//   a server text that is not an address (nothing is sent)        -10 after the wait
//   no datagram back within the wait                              -10 after the wait
//   a response code r                                             r - 10 (-10 - r for 10 to 15)
//   a reply that cannot be read safely                            -11
//   a reply without MX records                                    0, empty list
//   an exchange host the system resolver does not know            0, empty address
// The first datagram to arrive is the reply, whoever sent it, and a truncated
// reply is read like any other: there is no retry, no second server and no TCP.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/network.h"

#include "dns/dns_codec.h"

namespace vantrel::dns {

inline constexpr int kDnsWaitMs = 10000;
inline constexpr std::uint16_t kDnsPort = 53;

// Sends query to port 53 of the server (dotted IPv4 text, cut to 255
// characters) and gives the first datagram back within wait_ms, or nothing.
Bytes ExchangeQuery(platform::Network& network, const std::string& server, const Bytes& query,
                    int wait_ms = kDnsWaitMs);

}  // namespace vantrel::dns
