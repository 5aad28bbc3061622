// DNS messages for tests, written field by field in network order, and whole
// MX replies to a query as a server would send them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::testing {

class DnsPacketBuilder {
 public:
  DnsPacketBuilder& U8(std::uint8_t value) {
    bytes_.push_back(value);
    return *this;
  }
  DnsPacketBuilder& U16(std::uint16_t value) {
    bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
    bytes_.push_back(static_cast<std::uint8_t>(value & 0xFF));
    return *this;
  }
  DnsPacketBuilder& U32(std::uint32_t value) {
    U16(static_cast<std::uint16_t>(value >> 16));
    return U16(static_cast<std::uint16_t>(value & 0xFFFF));
  }
  DnsPacketBuilder& Raw(std::initializer_list<std::uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes);
    return *this;
  }
  DnsPacketBuilder& Raw(const std::string& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }

  // ID, flags and the four counts.
  DnsPacketBuilder& Header(std::uint16_t id, std::uint16_t flags, std::uint16_t qdcount, std::uint16_t ancount,
                           std::uint16_t nscount = 0, std::uint16_t arcount = 0) {
    return U16(id).U16(flags).U16(qdcount).U16(ancount).U16(nscount).U16(arcount);
  }

  // "mail.a.bc" as 04 m a i l 01 a 02 b c, without the final zero byte, so
  // that a pointer or a zero can follow.
  DnsPacketBuilder& Labels(const std::string& dotted) {
    std::size_t start = 0;
    while (start < dotted.size()) {
      std::size_t end = dotted.find('.', start);
      if (end == std::string::npos) end = dotted.size();
      U8(static_cast<std::uint8_t>(end - start));
      Raw(dotted.substr(start, end - start));
      start = end + 1;
    }
    return *this;
  }
  // A whole name in place: its labels and the zero byte.
  DnsPacketBuilder& Name(const std::string& dotted) { return Labels(dotted).U8(0); }
  // A compression pointer to offset (0 to 16383).
  DnsPacketBuilder& Pointer(std::uint16_t offset) { return U16(static_cast<std::uint16_t>(0xC000 | offset)); }

  DnsPacketBuilder& Question(const std::string& name, std::uint16_t qtype = 15, std::uint16_t qclass = 1) {
    return Name(name).U16(qtype).U16(qclass);
  }
  // TYPE, CLASS, TTL and RDLENGTH: what follows a record's owner name.
  DnsPacketBuilder& RecordFields(std::uint16_t type, std::uint16_t klass, std::uint32_t ttl, std::uint16_t rdlength) {
    return U16(type).U16(klass).U32(ttl).U16(rdlength);
  }
  // An MX record owned by the name at owner_offset, its exchange written out in full.
  DnsPacketBuilder& MxRecord(std::uint16_t preference, const std::string& exchange, std::uint16_t owner_offset = 12) {
    Pointer(owner_offset);
    std::size_t name_size = exchange.empty() ? 1 : exchange.size() + 2;
    RecordFields(15, 1, 3600, static_cast<std::uint16_t>(2 + name_size));
    return U16(preference).Name(exchange);
  }

  DnsPacketBuilder& PatchU16(std::size_t offset, std::uint16_t value) {
    bytes_.at(offset) = static_cast<std::uint8_t>(value >> 8);
    bytes_.at(offset + 1) = static_cast<std::uint8_t>(value & 0xFF);
    return *this;
  }

  std::size_t size() const { return bytes_.size(); }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::string str() const { return std::string(bytes_.begin(), bytes_.end()); }

 private:
  std::vector<std::uint8_t> bytes_;
};

struct MxAnswer {
  std::uint16_t preference = 0;
  std::string exchange;
};

// The reply a server gives to query: the query's ID and question, QR, RD and
// RA set, the response code, and one MX record per answer, each owned by the
// question's name (a pointer to offset 12) with its exchange written out.
inline std::string MxReplyFor(const std::string& query, const std::vector<MxAnswer>& answers,
                              std::uint8_t response_code = 0, bool truncated = false) {
  DnsPacketBuilder reply;
  std::uint16_t id = query.size() >= 2
                         ? static_cast<std::uint16_t>((static_cast<std::uint8_t>(query[0]) << 8) |
                                                      static_cast<std::uint8_t>(query[1]))
                         : 0;
  std::uint16_t flags = static_cast<std::uint16_t>(0x8180 | (truncated ? 0x0200 : 0) | (response_code & 0x0F));
  reply.Header(id, flags, 1, static_cast<std::uint16_t>(answers.size()));
  if (query.size() > 12) reply.Raw(query.substr(12));
  for (const MxAnswer& answer : answers) reply.MxRecord(answer.preference, answer.exchange);
  return reply.str();
}

inline std::string ErrorReplyFor(const std::string& query, std::uint8_t response_code) {
  return MxReplyFor(query, {}, response_code);
}

// The question name of a query, dotted ("a.bc"), read in plain label form.
inline std::string QuestionName(const std::string& query) {
  std::string name;
  std::size_t at = 12;
  while (at < query.size() && query[at] != 0) {
    std::size_t length = static_cast<std::uint8_t>(query[at]);
    if (!name.empty()) name += '.';
    name += query.substr(at + 1, length);
    at += 1 + length;
  }
  return name;
}

// A responder for FakeDnsServer that answers from a table of domains: the
// listed MX records, or response code 3 (no such domain) for any other name.
using MxZone = std::map<std::string, std::vector<MxAnswer>>;
inline std::function<std::optional<std::string>(const std::string&)> MxZoneResponder(MxZone zone) {
  return [zone = std::move(zone)](const std::string& query) -> std::optional<std::string> {
    auto found = zone.find(QuestionName(query));
    if (found == zone.end()) return ErrorReplyFor(query, 3);
    return MxReplyFor(query, found->second);
  };
}

}  // namespace vantrel::testing
