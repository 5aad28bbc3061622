// libFuzzer entry: any bytes as the console's arguments, NUL between them.
#include "tests/fuzz/fuzz_entry.h"
#include "tests/fuzz/command_line_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vantrel::fuzz::AbortOnFault("command_line_fuzzer", vantrel::fuzz::CheckCommandLine(data, size));
  return 0;
}
