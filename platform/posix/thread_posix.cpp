#include <pthread.h>
#include <time.h>

#include <cerrno>

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

}  // namespace vantrel::platform
