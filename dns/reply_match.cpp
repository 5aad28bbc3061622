// Whether a datagram is the reply to the query we sent. Anyone on the path can
// send a datagram to our port; only one that repeats our ID and our question
// is read, so a stray or forged packet cannot choose where the probes go.
#include "dns/dns_codec.h"
#include "text/ascii_case.h"

namespace vantrel::dns {

namespace {

constexpr std::size_t kHeaderSize = 12;

std::uint8_t Lower(std::uint8_t byte) {
  return static_cast<std::uint8_t>(text::AsciiLower(static_cast<char>(byte)));
}

}  // namespace

bool AnswersQuery(const Bytes& query, const Bytes& reply) {
  if (query.size() < kHeaderSize || reply.size() < query.size()) return false;
  if (query[0] != reply[0] || query[1] != reply[1]) return false;
  if (reply[4] != 0 || reply[5] != 1) return false;  // exactly one question
  // The question is everything after the query's header: its name in label
  // form, the zero byte, QTYPE and QCLASS. Length bytes, the zero byte and the
  // four type and class bytes must match exactly; label characters match
  // without regard to ASCII case.
  std::size_t at = kHeaderSize;
  std::size_t next_length = kHeaderSize;
  bool in_name = true;
  for (; at < query.size(); ++at) {
    bool is_character = in_name && at != next_length;
    if (in_name && at == next_length) {
      if (query[at] == 0 || query[at] > kMaxLabelLength) in_name = false;  // the rest is compared as it is
      next_length = at + 1 + query[at];
    }
    if (is_character ? Lower(query[at]) != Lower(reply[at]) : query[at] != reply[at]) return false;
  }
  return true;
}

}  // namespace vantrel::dns
