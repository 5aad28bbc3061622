// Reads one reply the way the run does and checks what must hold for any
// bytes a server may send. Shared by the fuzzer and the test suite that
// replays its corpus. Reading a reply resolves no host, so nothing ever
// leaves the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "dns/dns_codec.h"

namespace vantrel::dns {

namespace check_detail {

inline std::string Lowered(const Bytes& bytes, std::size_t from, std::size_t to) {
  std::string text;
  for (std::size_t i = from; i < to; ++i) {
    char c = static_cast<char>(bytes[i]);
    text.push_back((c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c);
  }
  return text;
}

inline bool HasLabelOver63(const std::string& name) {
  std::size_t start = 0;
  for (;;) {
    std::size_t dot = name.find('.', start);
    std::size_t end = dot == std::string::npos ? name.size() : dot;
    if (end - start > kMaxLabelLength) return true;
    if (dot == std::string::npos) return false;
    start = dot + 1;
  }
}

// The question the corpus replies answer: "a.bc", MX, IN, with the reply's
// own ID, so that matching replies are within the fuzzer's reach.
inline Bytes QueryFor(const Bytes& reply, std::uint16_t flip_id = 0) {
  Bytes query = BuildQuery("a.bc", kTypeMx, kClassIn);
  std::uint16_t id = reply.size() >= 2 ? static_cast<std::uint16_t>((reply[0] << 8) | reply[1]) : 1;
  id ^= flip_id;
  query[0] = static_cast<std::uint8_t>(id >> 8);
  query[1] = static_cast<std::uint8_t>(id & 0xFF);
  return query;
}

inline std::string CheckMatching(const Bytes& reply) {
  Bytes query = QueryFor(reply);
  if (AnswersQuery(QueryFor(reply, 0x0001), reply) || AnswersQuery(QueryFor(reply, 0x8000), reply)) {
    return "a reply with another ID was accepted";
  }
  if (!AnswersQuery(query, reply)) return std::string();
  if (reply.size() < query.size() || reply[4] != 0 || reply[5] != 1) return "accepted without one question";
  if (Lowered(reply, 12, query.size()) != Lowered(query, 12, query.size())) {
    return "a reply to another question was accepted";
  }
  return std::string();
}

}  // namespace check_detail

// Empty when the reply was handled soundly, else what went wrong.
inline std::string CheckReply(const std::uint8_t* data, std::size_t size) {
  Bytes reply(data, data + size);
  MxRecordList list = {{1, "stale", "stale", "stale"}};
  std::int32_t result = ReadMxReply(reply, &list);

  bool known = result == kLookupOk || result == kMalformedReply || (result >= -9 && result <= -1) ||
               (result >= -25 && result <= -20) || (result == kNoReply && size == 0);
  if (!known) return "unexpected result " + std::to_string(result);
  if (result == kMalformedReply && !list.empty()) return "a malformed reply left records";
  std::string matching = check_detail::CheckMatching(reply);
  if (!matching.empty()) return matching;
  if (result != kLookupOk) return std::string();
  for (const MxRecord& record : list) {
    if (record.exchange.size() > kMaxNameLength) return "exchange name too long";
    if (record.owner.size() > kMaxNameLength) return "owner name too long";
    for (const std::string* name : {&record.exchange, &record.owner}) {
      if (!name->empty() && (name->front() == '.' || name->back() == '.')) return "a name kept an outer dot";
      if (check_detail::HasLabelOver63(*name)) return "a label longer than 63 bytes";
    }
    if (!record.address.empty()) return "reading a reply resolved a host";
  }
  return std::string();
}

}  // namespace vantrel::dns
