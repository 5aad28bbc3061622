#include <algorithm>
#include <utility>

#include "dns/dns_codec.h"
#include "text/byte_cursor.h"

namespace vantrel::dns {

namespace {

using text::ByteCursor;

constexpr std::uint8_t kPointerMark = 192;

bool IsLetterOrDigit(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

std::size_t PointerOffset(std::uint8_t high, std::uint8_t low) {
  return static_cast<std::size_t>(((high << 8) | low) & 0x3FFF);
}

// Labels from position on, up to the zero byte or through pointers. In place,
// the name may take at most limit - position bytes; once a pointer is
// followed it may run to the end of the reply.
ReadStatus ReadLabels(const Bytes& reply, std::size_t position, std::size_t limit, std::string* text) {
  ByteCursor cursor(reply);
  if (!cursor.Seek(position)) return ReadStatus::kRunsPastEnd;
  int jumps = 0;
  bool first = true;
  for (;;) {
    std::uint8_t length;
    if (cursor.position() >= limit || !cursor.ReadU8(&length)) return ReadStatus::kRunsPastEnd;
    if (length == 0) return ReadStatus::kOk;
    if (length >= kPointerMark) {
      std::uint8_t low;
      if (cursor.position() >= limit || !cursor.ReadU8(&low)) return ReadStatus::kRunsPastEnd;
      if (++jumps > kMaxPointerJumps) return ReadStatus::kPointerLoop;
      if (!cursor.Seek(PointerOffset(length, low))) return ReadStatus::kPointerOutside;
      limit = reply.size();
      continue;
    }
    if (length > kMaxLabelLength) return ReadStatus::kReservedLabel;
    if (length > limit - cursor.position() || length > cursor.remaining()) return ReadStatus::kRunsPastEnd;
    if (text->size() + (first ? 0u : 1u) + length > kMaxNameLength) return ReadStatus::kNameTooLong;
    if (!first) text->push_back('.');
    first = false;
    std::size_t at = cursor.position();
    text->append(reply.begin() + static_cast<std::ptrdiff_t>(at),
                 reply.begin() + static_cast<std::ptrdiff_t>(at + length));
    cursor.Skip(length);
  }
}

// How many bytes the name at position occupies in place: up to and including
// its zero byte, or its first pointer.
ReadStatus NameExtent(const Bytes& reply, std::size_t position, std::size_t* extent) {
  ByteCursor cursor(reply);
  if (!cursor.Seek(position)) return ReadStatus::kRunsPastEnd;
  for (;;) {
    std::uint8_t length;
    if (!cursor.ReadU8(&length)) return ReadStatus::kRunsPastEnd;
    if (length == 0) break;
    if (length >= kPointerMark) {
      if (!cursor.Skip(1)) return ReadStatus::kRunsPastEnd;
      break;
    }
    if (length > kMaxLabelLength) return ReadStatus::kReservedLabel;
    if (!cursor.Skip(length)) return ReadStatus::kRunsPastEnd;
  }
  *extent = cursor.position() - position;
  return ReadStatus::kOk;
}

std::string TrimDots(const std::string& text) {
  std::size_t first = text.find_first_not_of('.');
  if (first == std::string::npos) return std::string();
  std::size_t last = text.find_last_not_of('.');
  return text.substr(first, last - first + 1);
}

std::int32_t ReadAnswers(const Bytes& reply, std::size_t position, const DnsHeader& header,
                         const Question& question, MxRecordList* records) {
  for (int i = 0; i < header.ancount; ++i) {
    RecordHeader record;
    if (ReadRecordHeader(reply, &position, &record) != ReadStatus::kOk) return kMalformedReply;
    ByteCursor rdata(reply, position);
    if (rdata.remaining() < record.rdlength) return kMalformedReply;
    std::size_t rdata_end = position + record.rdlength;
    if (question.qtype == kTypeMx && record.type == kTypeMx) {
      MxRecord answer;
      if (record.rdlength < 2 || !rdata.ReadU16(&answer.preference)) return kMalformedReply;
      std::string exchange;
      if (DecodeName(reply, rdata.position(), record.rdlength - 2u, &exchange) != ReadStatus::kOk) {
        return kMalformedReply;
      }
      answer.exchange = TrimDots(exchange);
      answer.owner = TrimDots(record.owner);
      records->push_back(std::move(answer));
    }
    position = rdata_end;
  }
  return kLookupOk;
}

std::int32_t ReadMxReplyContent(const Bytes& reply, MxRecordList* list) {
  if (reply.empty()) return kNoReply;
  DnsHeader header;
  Question question;
  std::int32_t at = ReadReplyHeader(reply, &header, &question);
  if (at == kMalformedReply) list->clear();
  if (at <= 0) return at;

  MxRecordList records;
  std::int32_t result = ReadAnswers(reply, static_cast<std::size_t>(at), header, question, &records);
  list->clear();
  if (result != kLookupOk) return result;
  *list = std::move(records);
  return kLookupOk;
}

}  // namespace

std::int32_t ReadReplyHeader(const Bytes& reply, DnsHeader* header, Question* question) {
  ByteCursor cursor(reply);
  if (!cursor.ReadU16(&header->id) || !cursor.ReadU16(&header->flags) || !cursor.ReadU16(&header->qdcount) ||
      !cursor.ReadU16(&header->ancount) || !cursor.ReadU16(&header->nscount) ||
      !cursor.ReadU16(&header->arcount)) {
    return kMalformedReply;
  }
  int code = header->flags & 0x0F;
  if (code != 0) return ResultForResponseCode(code);

  std::size_t name_size = 0;
  if (NameExtent(reply, cursor.position(), &name_size) != ReadStatus::kOk || !cursor.Skip(name_size)) {
    return kMalformedReply;
  }
  if (!cursor.ReadU16(&question->qtype) || !cursor.ReadU16(&question->qclass)) return kMalformedReply;
  return static_cast<std::int32_t>(cursor.position());
}

ReadStatus ReadRecordHeader(const Bytes& reply, std::size_t* position, RecordHeader* record) {
  std::size_t extent = 0;
  ReadStatus status = NameExtent(reply, *position, &extent);
  if (status != ReadStatus::kOk) return status;
  status = DecodeName(reply, *position, extent, &record->owner);
  if (status != ReadStatus::kOk) return status;
  ByteCursor cursor(reply, *position + extent);
  if (!cursor.ReadU16(&record->type) || !cursor.ReadU16(&record->klass) || !cursor.ReadU32(&record->ttl) ||
      !cursor.ReadU16(&record->rdlength)) {
    return ReadStatus::kRunsPastEnd;
  }
  *position = cursor.position();
  return ReadStatus::kOk;
}

ReadStatus DecodeName(const Bytes& reply, std::size_t position, std::size_t byte_count, std::string* name) {
  if (position > reply.size()) return ReadStatus::kRunsPastEnd;
  std::size_t limit = position + std::min(byte_count, reply.size() - position);
  std::string text;
  ReadStatus status = ReadLabels(reply, position, limit, &text);
  if (status != ReadStatus::kOk) return status;
  if (!text.empty() && !IsLetterOrDigit(text.back())) text.pop_back();
  *name = std::move(text);
  return ReadStatus::kOk;
}

std::int32_t ReadMxReply(const Bytes& reply, MxRecordList* list) {
  MxRecordList unused;
  return ReadMxReplyContent(reply, list != nullptr ? list : &unused);
}

}  // namespace vantrel::dns
