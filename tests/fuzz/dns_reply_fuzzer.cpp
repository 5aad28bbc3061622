// libFuzzer entry for the DNS reply reader: any bytes, read as a reply.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/dns_reply_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string fault = vantrel::dns::CheckReply(data, size);
  if (!fault.empty()) {
    std::fprintf(stderr, "DNS reply check failed: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
