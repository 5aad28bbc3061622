#include <windows.h>

#include "platform/thread.h"

namespace vantrel::platform {

namespace {

struct Start {
  ThreadProc proc;
  int argument;
};

DWORD WINAPI Trampoline(LPVOID raw) {
  Start start = *static_cast<Start*>(raw);
  delete static_cast<Start*>(raw);
  start.proc(start.argument);
  return 0;
}

}  // namespace

ThreadHandle StartThread(ThreadProc proc, int argument) {
  auto* start = new Start{proc, argument};
  HANDLE thread = ::CreateThread(nullptr, 0, Trampoline, start, 0, nullptr);
  if (thread == nullptr) {
    delete start;
    return 0;
  }
  return reinterpret_cast<ThreadHandle>(thread);
}

void SuspendThread(ThreadHandle thread) {
  if (thread != 0) ::SuspendThread(reinterpret_cast<HANDLE>(thread));
}

void CloseThread(ThreadHandle thread) {
  if (thread != 0) ::CloseHandle(reinterpret_cast<HANDLE>(thread));
}

void SleepMs(int milliseconds) { ::Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0); }

}  // namespace vantrel::platform
