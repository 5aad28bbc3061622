// What every fuzzer does with a property that failed: say which, and abort,
// so that libFuzzer keeps the input that broke it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vantrel::fuzz {

inline void AbortOnFault(const char* target, const std::string& fault) {
  if (fault.empty()) return;
  std::fprintf(stderr, "%s check failed: %s\n", target, fault.c_str());
  std::abort();
}

}  // namespace vantrel::fuzz
