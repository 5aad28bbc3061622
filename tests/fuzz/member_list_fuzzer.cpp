// libFuzzer entry: any bytes as a member list, read in chosen pieces.
#include "tests/fuzz/fuzz_entry.h"
#include "tests/fuzz/member_list_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vantrel::fuzz::AbortOnFault("member_list_fuzzer", vantrel::fuzz::CheckMemberList(data, size));
  return 0;
}
