// The MX lookup's exchange: one UDP datagram to the configured DNS server and
// the first datagram back. The run makes three calls per address:
//   Bytes q = BuildQuery(domain, kTypeMx, kClassIn);
//   ExchangeReply r = ExchangeQuery(q, false);
//   int result = ReadMxReply(r, false, &list);
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
