#include "run/unless_stopped.h"

#include <atomic>

namespace vantrel::run::detail {

namespace {
std::atomic<int> abandoned_calls{0};
}  // namespace

bool MayAbandonAnother() { return abandoned_calls.load() < kMaxAbandonedCalls; }
void Abandoned() { ++abandoned_calls; }
void AbandonedCallEnded() { --abandoned_calls; }

}  // namespace vantrel::run::detail
