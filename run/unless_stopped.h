// Calls that cannot be interrupted (the system resolver has its own
// time-outs, often longer than a stop may take) run on a short-lived thread
// while the caller waits in short slices and asks whether to stop between
// them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace vantrel::run {

namespace detail {
// Calls a stop left running on their own threads. They end by themselves;
// past this many, calls run on the caller's thread rather than start yet
// another one.
inline constexpr int kMaxAbandonedCalls = 4;
bool MayAbandonAnother();
void Abandoned();
void AbandonedCallEnded();
}  // namespace detail

inline constexpr std::chrono::milliseconds kStopSlice{250};

// The call's result, or nothing when stopped() said so first. An abandoned
// call finishes on its own thread, so whatever it uses must outlive the
// process's last call, as RealNetwork() does.
template <typename T>
std::optional<T> CallUnlessStopped(std::function<T()> call, const std::function<bool()>& stopped) {
  if (!stopped || !detail::MayAbandonAnother()) return call();
  struct Pending {
    std::mutex mutex;
    std::condition_variable finished;
    std::optional<T> result;
    bool abandoned = false;
  };
  auto pending = std::make_shared<Pending>();
  std::thread worker([call = std::move(call), pending] {
    T result = call();
    std::lock_guard<std::mutex> lock(pending->mutex);
    pending->result = std::move(result);
    if (pending->abandoned) detail::AbandonedCallEnded();
    pending->finished.notify_all();
  });
  std::unique_lock<std::mutex> lock(pending->mutex);
  while (!pending->result) {
    if (stopped()) {
      pending->abandoned = true;
      detail::Abandoned();
      lock.unlock();
      worker.detach();
      return std::nullopt;
    }
    pending->finished.wait_for(lock, kStopSlice);
  }
  std::optional<T> result = std::move(pending->result);
  lock.unlock();
  worker.join();
  return result;
}

}  // namespace vantrel::run
