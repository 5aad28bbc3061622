// The MX lookup's exchange: one UDP datagram to the configured DNS server and
// the first datagram back. The run makes three calls per address:
//   Bytes q = BuildQuery(domain, kTypeMx, kClassIn);
//   ExchangeReply r = ExchangeQuery(q, false);
//   int result = ReadMxReply(r, false, &list);
//
// Results, each reported by ReadMxReply:
//   no server configured, or the sockets library cannot start   -10 at once
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

#include "dns/dns_codec.h"

namespace vantrel::dns {

inline constexpr int kDnsWaitMs = 10000;
inline constexpr std::uint16_t kDnsPort = 53;

// The configured servers; the run sets exactly one entry per run, and only
// entry 0 is ever asked. Entries are cut to 255 characters.
void SetDnsServerList(const std::vector<std::string>& servers);
std::vector<std::string> DnsServerList();

// The reply bytes, and whether this exchange started the sockets library
// itself (so that reading the reply knows whether to release it).
struct ExchangeReply {
  Bytes bytes;
  bool sockets_started = false;
};

ExchangeReply ExchangeQuery(const Bytes& query, bool keep_sockets, int wait_ms = kDnsWaitMs);

// ReadMxReply for an exchange's reply: it releases the sockets library only
// when the exchange started it and keep_sockets is false.
std::int32_t ReadMxReply(const ExchangeReply& reply, bool keep_sockets, MxRecordList* list);

}  // namespace vantrel::dns
