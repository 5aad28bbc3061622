#include <pthread.h>
#include <time.h>

#include <cerrno>

#include "platform/clock.h"
#include "platform/thread.h"

namespace vantrel::platform {

namespace {

struct Start {
  ThreadProc proc;
  int argument;
};

void* Trampoline(void* raw) {
  Start start = *static_cast<Start*>(raw);
  delete static_cast<Start*>(raw);
  start.proc(start.argument);
  return nullptr;
}

}  // namespace

ThreadHandle StartThread(ThreadProc proc, int argument) {
  auto* start = new Start{proc, argument};
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  // Nobody joins a task; it ends by itself or with the program.
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  int rc = pthread_create(&thread, &attributes, Trampoline, start);
  pthread_attr_destroy(&attributes);
  if (rc != 0) {
    delete start;
    return 0;
  }
  return static_cast<ThreadHandle>(thread);
}

// POSIX threads cannot be suspended from outside; a task that outlives the
// exit's one pass has already been told to stop and ends with the process.
void SuspendThread(ThreadHandle) {}
void CloseThread(ThreadHandle) {}

void SleepMs(int milliseconds) {
  if (milliseconds <= 0) return;
  timespec wait{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

LocalTime NowLocal() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  time_t seconds = now.tv_sec;
  tm local{};
  ::localtime_r(&seconds, &local);
  LocalTime result;
  result.year = local.tm_year + 1900;
  result.month = local.tm_mon + 1;
  result.day = local.tm_mday;
  result.hour = local.tm_hour;
  result.minute = local.tm_min;
  result.second = local.tm_sec;
  result.millisecond = static_cast<int>(now.tv_nsec / 1000000L);
  return result;
}

}  // namespace vantrel::platform
