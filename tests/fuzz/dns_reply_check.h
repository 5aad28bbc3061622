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
#include "platform/network.h"

namespace vantrel::dns {

// Answers every host name with 127.1.2.5, asking nobody.
class KnowsEveryHost : public platform::SystemNetwork {
 public:
  bool ResolveHost(const std::string&, std::uint32_t* address) override {
    *address = 0x0502017F;
    return true;
  }
};

// Empty when the reply was handled soundly, else what went wrong.
inline std::string CheckReply(const std::uint8_t* data, std::size_t size) {
  KnowsEveryHost network;
  Bytes reply(data, data + size);
  MxRecordList list = {{1, "stale", "stale", "stale"}};
  std::int32_t result = ReadMxReply(network, reply, &list);

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
