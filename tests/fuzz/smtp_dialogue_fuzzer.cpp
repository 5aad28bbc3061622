// libFuzzer entry: any bytes as the mail server's side of one probe.
#include "tests/fuzz/fuzz_entry.h"
#include "tests/fuzz/smtp_dialogue_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vantrel::fuzz::AbortOnFault("smtp_dialogue_fuzzer", vantrel::fuzz::CheckDialogue(data, size));
  return 0;
}
