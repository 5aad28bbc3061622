// The MX lookup's exchange: one UDP datagram to the configured DNS server and
// the reply to it. The run makes three calls per address, then resolves the
// one host it chooses:
//   Bytes q = BuildQuery(domain, kTypeMx, kClassIn);
//   Bytes r = ExchangeQuery(network, server, q, wait_ms, stopped);
//   int result = ReadMxReply(r, &list);
//
// Results, each reported by ReadMxReply:
//   no server given, or the sockets library cannot start         -10 at once
//   a server text that is not an address (nothing is sent)        -10 after the wait
//   no datagram back within the wait                              -10 after the wait
//   a response code r                                             r - 10 (-10 - r for 10 to 15)
//   a reply that cannot be read safely                            -11
//   a reply without MX records                                    0, empty list
//   the wait interrupted by a stop                                -10 at the next slice
// Only a datagram from the server's address and port 53 that carries the
// query's ID and question is the reply; anything else is dropped and the wait
// goes on to the same deadline. A truncated reply is read like any other:
// there is no retry, no second server and no TCP.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/network.h"

#include "dns/dns_codec.h"

namespace vantrel::dns {

inline constexpr int kDnsWaitMs = 10000;
inline constexpr std::uint16_t kDnsPort = 53;
// The longest single wait on the socket: a stop is looked at between waits.
inline constexpr int kWaitSliceMs = 250;

// True once the lookup should give up waiting (the run is being stopped).
using StopCheck = std::function<bool()>;

// Sends query to port 53 of the server (dotted IPv4 text, cut to 255
// characters) and gives the reply to it that arrives within wait_ms, or
// nothing. An empty stopped never stops.
Bytes ExchangeQuery(platform::Network& network, const std::string& server, const Bytes& query,
                    int wait_ms = kDnsWaitMs, const StopCheck& stopped = StopCheck());

}  // namespace vantrel::dns
