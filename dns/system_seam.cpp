#include "dns/system_seam.h"

#include <utility>

namespace vantrel::dns {

namespace {

SystemSeam& Current() {
  static SystemSeam* seam = new SystemSeam(RealSystem());
  return *seam;
}

}  // namespace

const SystemSeam& CurrentSystem() { return Current(); }

ScopedSystemSeam::ScopedSystemSeam(SystemSeam seam) : previous_(Current()) { Current() = std::move(seam); }

ScopedSystemSeam::~ScopedSystemSeam() { Current() = std::move(previous_); }

}  // namespace vantrel::dns
