#include <utility>

#include "dns/byte_cursor.h"
#include "dns/dns_codec.h"
#include "platform/net.h"

namespace vantrel::dns {

namespace {

constexpr std::uint8_t kPointerMark = 192;
constexpr std::uint8_t kFirstNameCharacter = 33;

bool IsLetterOrDigit(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Collects a name's characters. One character more than a field holds is
// allowed for the "." of the final zero byte, which the clean-up removes.
class NameText {
 public:
  bool Put(std::uint8_t byte) {
    if (text_.size() > kMaxNameLength) return false;
    text_.push_back(byte < kFirstNameCharacter ? '.' : static_cast<char>(byte));
    return true;
  }
  std::string& text() { return text_; }

 private:
  std::string text_;
};

std::size_t PointerOffset(std::uint8_t high, std::uint8_t low) {
  return static_cast<std::size_t>(((high << 8) | low) & 0x3FFF);
}

// Reads the name a pointer leads to, up to its zero byte, following further
// pointers on the way.
ReadStatus FollowPointer(const Bytes& reply, std::size_t offset, NameText* name) {
  ByteCursor cursor(reply);
  if (!cursor.Seek(offset)) return ReadStatus::kPointerOutside;
  int jumps = 1;
  for (;;) {
    std::uint8_t byte;
    if (!cursor.ReadU8(&byte)) return ReadStatus::kRunsPastEnd;
    if (byte == 0) return ReadStatus::kOk;
    if (byte >= kPointerMark) {
      std::uint8_t low;
      if (!cursor.ReadU8(&low)) return ReadStatus::kRunsPastEnd;
      if (++jumps > kMaxPointerJumps) return ReadStatus::kPointerLoop;
      if (!cursor.Seek(PointerOffset(byte, low))) return ReadStatus::kPointerOutside;
      continue;
    }
    if (!name->Put(byte)) return ReadStatus::kNameTooLong;
  }
}

// How many bytes the name at position occupies in place: up to and including
// its zero byte, or its first pointer.
ReadStatus NameExtent(const Bytes& reply, std::size_t position, std::size_t* extent) {
  ByteCursor cursor(reply, position);
  if (cursor.position() != position) return ReadStatus::kRunsPastEnd;
  for (;;) {
    std::uint8_t byte;
    if (!cursor.ReadU8(&byte)) return ReadStatus::kRunsPastEnd;
    if (byte >= kPointerMark && !cursor.Skip(1)) return ReadStatus::kRunsPastEnd;
    if (byte == 0 || byte >= kPointerMark) break;
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

// A record as read, before its host is resolved.
struct MxAnswer {
  std::uint16_t preference = 0;
  std::string exchange;
  std::string owner;
};

std::int32_t ReadAnswers(const Bytes& reply, std::size_t position, const DnsHeader& header,
                         const Question& question, std::vector<MxAnswer>* answers) {
  for (int i = 0; i < header.ancount; ++i) {
    RecordHeader record;
    if (ReadRecordHeader(reply, &position, &record) != ReadStatus::kOk) return kMalformedReply;
    ByteCursor rdata(reply, position);
    if (rdata.remaining() < record.rdlength) return kMalformedReply;
    std::size_t rdata_end = position + record.rdlength;
    if (question.qtype == kTypeMx && record.type == kTypeMx) {
      MxAnswer answer;
      if (record.rdlength < 2 || !rdata.ReadU16(&answer.preference)) return kMalformedReply;
      std::string exchange;
      if (DecodeName(reply, rdata.position(), record.rdlength - 2u, &exchange) != ReadStatus::kOk) {
        return kMalformedReply;
      }
      answer.exchange = TrimDots(exchange);
      answer.owner = TrimDots(record.owner);
      answers->push_back(std::move(answer));
    }
    position = rdata_end;
  }
  return kLookupOk;
}

std::string ResolveExchange(platform::Network& network, const std::string& host) {
  // The empty name would give this computer's own address on some systems.
  if (host.empty()) return std::string();
  std::uint32_t address = 0;
  if (!network.ResolveHost(host, &address)) return std::string();
  return platform::AddressText(address).substr(0, kMaxAddressLength);
}

std::int32_t ReadMxReplyContent(platform::Network& network, const Bytes& reply, MxRecordList* list) {
  if (reply.empty()) return kNoReply;
  DnsHeader header;
  Question question;
  std::int32_t at = ReadReplyHeader(reply, &header, &question);
  if (at == kMalformedReply) list->clear();
  if (at <= 0) return at;

  std::vector<MxAnswer> answers;
  std::int32_t result = ReadAnswers(reply, static_cast<std::size_t>(at), header, question, &answers);
  list->clear();
  if (result != kLookupOk) return result;
  // Every host is resolved, chosen or not, once the whole answer has been read.
  for (MxAnswer& answer : answers) {
    MxRecord record;
    record.preference = answer.preference;
    record.address = ResolveExchange(network, answer.exchange);
    record.exchange = std::move(answer.exchange);
    record.owner = std::move(answer.owner);
    list->push_back(std::move(record));
  }
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

  std::uint8_t byte = 1;
  while (byte != 0) {
    if (!cursor.ReadU8(&byte)) return kMalformedReply;
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
  ByteCursor cursor(reply);
  if (!cursor.Seek(position)) return ReadStatus::kRunsPastEnd;
  NameText text;
  for (std::size_t taken = 0; taken < byte_count; ++taken) {
    std::uint8_t byte;
    if (!cursor.ReadU8(&byte)) return ReadStatus::kRunsPastEnd;
    if (byte >= kPointerMark) {
      std::uint8_t low;
      if (!cursor.ReadU8(&low)) return ReadStatus::kRunsPastEnd;
      ReadStatus status = FollowPointer(reply, PointerOffset(byte, low), &text);
      if (status != ReadStatus::kOk) return status;
      break;
    }
    if (!text.Put(byte)) return ReadStatus::kNameTooLong;
  }
  std::string& result = text.text();
  if (!result.empty() && !IsLetterOrDigit(result.back())) result.pop_back();
  if (result.size() > kMaxNameLength) return ReadStatus::kNameTooLong;
  *name = std::move(result);
  return ReadStatus::kOk;
}

std::int32_t ReadMxReply(platform::Network& network, const Bytes& reply, MxRecordList* list) {
  MxRecordList unused;
  return ReadMxReplyContent(network, reply, list != nullptr ? list : &unused);
}

}  // namespace vantrel::dns
