// The DNS message codec: the MX query for a domain, and the reply read into
// the MX record list. Every byte of a reply is read through a bounds-checked
// cursor; a reply that runs short or loops is reported, never overrun.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::dns {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint16_t kTypeMx = 15;
inline constexpr std::uint16_t kClassIn = 1;

// Lookup results.
inline constexpr std::int32_t kLookupOk = 0;
inline constexpr std::int32_t kNoReply = -10;  // the reply is empty
// r - 10 for a response code r from 1 to 9: -9 format error ... -7 name error.

struct MxRecord {
  std::uint16_t preference = 0;
  std::string exchange;  // host name of the mail exchanger, at most 255 characters
  std::string owner;     // the name the record belongs to, at most 255 characters
  std::string address;   // dotted IPv4 of the exchange host, empty when unresolved
};
using MxRecordList = std::vector<MxRecord>;

Bytes BuildQuery(const std::string& domain, std::uint16_t qtype, std::uint16_t qclass);

// Reads the reply into list and returns the lookup result. When keep_sockets
// is false it releases the sockets library once before returning.
std::int32_t ReadMxReply(const Bytes& reply, bool keep_sockets, MxRecordList* list);

}  // namespace vantrel::dns
