// libFuzzer entry: any short text, searched for an address by both searches.
#include "tests/fuzz/fuzz_entry.h"
#include "tests/fuzz/address_matcher_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vantrel::fuzz::AbortOnFault("address_matcher_fuzzer", vantrel::fuzz::CheckAddressMatcher(data, size));
  return 0;
}
