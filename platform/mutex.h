// The one mutex type of the system: std::mutex with the attributes that let
// clang's thread-safety analysis check every VANTREL_GUARDED_BY member.
#pragma once

#include <mutex>

#include "platform/thread_annotations.h"

namespace vantrel::platform {

class VANTREL_CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() VANTREL_ACQUIRE() { mutex_.lock(); }
  void Unlock() VANTREL_RELEASE() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

// Holds a Mutex for the rest of the scope.
class VANTREL_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) VANTREL_ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~MutexLock() VANTREL_RELEASE() { mutex_.Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

}  // namespace vantrel::platform
