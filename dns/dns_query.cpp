#include <random>

#include "dns/dns_codec.h"
#include "platform/clock.h"

namespace vantrel::dns {

namespace {

void PutU16(Bytes* out, std::uint16_t value) {
  out->push_back(static_cast<std::uint8_t>(value >> 8));
  out->push_back(static_cast<std::uint8_t>(value & 0xFF));
}

std::uint32_t MillisecondsSinceMidnight() {
  platform::LocalTime now = platform::NowLocal();
  return static_cast<std::uint32_t>(((now.hour * 60 + now.minute) * 60 + now.second) * 1000 +
                                    now.millisecond);
}

}  // namespace

std::uint16_t QueryIdFor(std::uint32_t milliseconds_since_midnight) {
  std::minstd_rand generator(milliseconds_since_midnight);
  return static_cast<std::uint16_t>(1 + generator() % 65535);
}

Bytes BuildQuery(const std::string& domain, std::uint16_t qtype, std::uint16_t qclass) {
  Bytes query;
  query.reserve(12 + domain.size() + 2 + 4);
  PutU16(&query, QueryIdFor(MillisecondsSinceMidnight()));
  PutU16(&query, 0x0100);  // recursion desired, nothing else
  PutU16(&query, 1);       // one question
  PutU16(&query, 0);
  PutU16(&query, 0);
  PutU16(&query, 0);

  std::string name = (!domain.empty() && domain[0] == '.') ? domain : "." + domain;
  // Each "." becomes the length of the label that follows it. The length is
  // cut to one byte unchecked, as it always was: the server judges the name.
  for (std::size_t at = 0; at < name.size();) {
    std::size_t next = name.find('.', at + 1);
    if (next == std::string::npos) next = name.size();
    query.push_back(static_cast<std::uint8_t>((next - at - 1) & 0xFF));
    for (std::size_t i = at + 1; i < next; ++i) query.push_back(static_cast<std::uint8_t>(name[i]));
    at = next;
  }
  query.push_back(0);
  PutU16(&query, qtype);
  PutU16(&query, qclass);
  return query;
}

}  // namespace vantrel::dns
