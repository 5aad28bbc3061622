// Reads one reply the way the run does and checks what must hold for any
// bytes a server may send. Shared by the fuzzer and the test suite that
// replays its corpus. The system resolver is replaced by one that knows every
// host, so no name ever leaves the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "dns/dns_codec.h"
#include "dns/system_seam.h"

namespace vantrel::dns {

// Empty when the reply was handled soundly, else what went wrong.
inline std::string CheckReply(const std::uint8_t* data, std::size_t size) {
  int stops = 0;
  SystemSeam fake = RealSystem();
  fake.start_sockets = [] { return true; };
  fake.stop_sockets = [&stops] { ++stops; };
  fake.resolve_host = [](const std::string&, std::uint32_t* address) {
    *address = 0x0502017F;  // 127.1.2.5
    return true;
  };
  ScopedSystemSeam seam(std::move(fake));
  Bytes reply(data, data + size);
  MxRecordList list = {{1, "stale", "stale", "stale"}};
  std::int32_t result = ReadMxReply(reply, false, &list);

  if (stops != 1) return "the sockets library was released " + std::to_string(stops) + " times";
  bool known = result == kLookupOk || result == kMalformedReply || (result >= -9 && result <= -1) ||
               (result >= -25 && result <= -20) || (result == kNoReply && size == 0);
  if (!known) return "unexpected result " + std::to_string(result);
  if (result == kMalformedReply && !list.empty()) return "a malformed reply left records";
  if (result != kLookupOk) return std::string();
  for (const MxRecord& record : list) {
    if (record.exchange.size() > kMaxNameLength) return "exchange name too long";
    if (record.owner.size() > kMaxNameLength) return "owner name too long";
    if (record.address.size() > kMaxAddressLength) return "address text too long";
    for (const std::string* name : {&record.exchange, &record.owner}) {
      if (!name->empty() && (name->front() == '.' || name->back() == '.')) return "a name kept an outer dot";
    }
    if (record.exchange.empty() != record.address.empty()) return "an address without a host, or the reverse";
  }
  return std::string();
}

}  // namespace vantrel::dns
