// libFuzzer entry: any bytes as the settings file, loaded, saved and loaded again.
#include "tests/fuzz/fuzz_entry.h"
#include "tests/fuzz/settings_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vantrel::fuzz::AbortOnFault("settings_fuzzer", vantrel::fuzz::CheckSettings(data, size));
  return 0;
}
