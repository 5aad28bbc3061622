// The DNS message codec: the MX query for a domain, and the reply read into
// the MX record list. Every byte of a reply is read through a bounds-checked
// cursor; a reply that runs short or loops is reported, never overrun.
//
// How replies that cannot be trusted come out:
// - A reply shorter than its header and question, an answer count or record
//   length that runs past the end, a compression pointer outside the reply or
//   in a loop, a label length of 64 to 191 (forms DNS reserves), a name that
//   does not end within its record, or a name longer than 255 characters: the
//   whole reply is
//   kMalformedReply and the MX record list is left empty. Records read before
//   the fault are not used either; a reply that lies once is not trusted.
// - Response codes 10 to 15 (which r - 10 would turn into a success or an
//   answer offset) give -10 - r, that is -20 to -25.
// - Only MX records enter the list. Other answer records (a CNAME ahead of the
//   MX records, say) are read past, so every entry carries a real preference
//   and exchange name, and choosing the lowest preference is always safe.
// - An empty exchange name (the "no mail here" MX of a single ".") stays in the
//   list with an empty address.
// - Reading a reply resolves no host: the run resolves only the record it
//   chooses, so a reply naming a thousand hosts costs one host lookup.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::dns {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint16_t kTypeMx = 15;
inline constexpr std::uint16_t kClassIn = 1;

// Lookup results.
inline constexpr std::int32_t kLookupOk = 0;
inline constexpr std::int32_t kNoReply = -10;        // the reply is empty
inline constexpr std::int32_t kMalformedReply = -11;  // the reply cannot be read safely
// r - 10 for a response code r from 1 to 9: -9 format error ... -7 name error;
// -10 - r for the codes 10 to 15.
inline constexpr std::int32_t ResultForResponseCode(int code) {
  return code <= 9 ? code - 10 : -10 - code;
}

// The longest name a record field holds, and how many compression pointers
// one name may follow before it counts as a loop. A well-formed name of 255
// bytes cannot need more jumps than it has labels.
inline constexpr std::size_t kMaxNameLength = 255;
inline constexpr std::size_t kMaxLabelLength = 63;
inline constexpr int kMaxPointerJumps = 128;
inline constexpr std::size_t kMaxAddressLength = 15;

struct MxRecord {
  std::uint16_t preference = 0;
  std::string exchange;  // host name of the mail exchanger, at most 255 characters
  std::string owner;     // the name the record belongs to, at most 255 characters
  std::string address;   // dotted IPv4 of the exchange host, filled by whoever resolves it
};
using MxRecordList = std::vector<MxRecord>;

struct DnsHeader {
  std::uint16_t id = 0;
  std::uint16_t flags = 0;
  std::uint16_t qdcount = 0;
  std::uint16_t ancount = 0;
  std::uint16_t nscount = 0;
  std::uint16_t arcount = 0;
};

struct Question {
  std::uint16_t qtype = 0;
  std::uint16_t qclass = 0;
};

struct RecordHeader {
  std::string owner;
  std::uint16_t type = 0;
  std::uint16_t klass = 0;
  std::uint32_t ttl = 0;
  std::uint16_t rdlength = 0;
};

enum class ReadStatus {
  kOk,
  kRunsPastEnd,      // a field or name goes beyond the last byte of the reply
  kPointerOutside,   // a compression pointer names an offset past the reply
  kPointerLoop,      // more pointers than any real name needs
  kNameTooLong,      // the name would pass 255 characters
  kReservedLabel,    // a label length of 64 to 191, which DNS reserves
};

// The query ID for a given time of day in milliseconds since midnight:
// 1 to 65535. BuildQuery seeds it from the clock anew for every query.
std::uint16_t QueryIdFor(std::uint32_t milliseconds_since_midnight);

// Header, the name in label form (a "." is put in front unless there is one,
// every "." becomes the length of the label after it, cut to one byte), a zero
// byte, QTYPE and QCLASS. Nothing about the name is checked: the server's
// reply decides.
Bytes BuildQuery(const std::string& domain, std::uint16_t qtype, std::uint16_t qclass);

// The offset of the first answer record (above 0), or a lookup result: the
// response code's value, or kMalformedReply when the header or question does
// not fit. The question name is walked by its label lengths.
std::int32_t ReadReplyHeader(const Bytes& reply, DnsHeader* header, Question* question);

// Reads one record header at *position and leaves *position at its RDATA.
// The owner name is decoded by the general rules of DecodeName, so a name
// written out in place is read as well as a compression pointer.
ReadStatus ReadRecordHeader(const Bytes& reply, std::size_t* position, RecordHeader* record);

// Decodes the name at position by its length bytes: labels of 1 to 63 bytes
// joined by ".", up to the zero byte, or up to a compression pointer (a byte of
// 192 or more and the next), which is followed to the name's end. The name
// must end within byte_count bytes in place. A last character that is not a
// letter or digit is dropped, so a name ending in "-" loses it.
ReadStatus DecodeName(const Bytes& reply, std::size_t position, std::size_t byte_count, std::string* name);

// Reads the reply into list and returns the lookup result. No host is
// resolved: every address text is left empty. An empty reply or a response
// code leaves list as it was; any other result replaces it.
std::int32_t ReadMxReply(const Bytes& reply, MxRecordList* list);

// True when reply answers query: at least a header, the query's ID, and the
// query's question repeated (the name compared without regard to ASCII case,
// then QTYPE and QCLASS). Anything else is a stray or forged datagram.
bool AnswersQuery(const Bytes& query, const Bytes& reply);

}  // namespace vantrel::dns
