// Task threads: started with one integer argument, never joined by the product.
#pragma once

#include <cstdint>

namespace vantrel::platform {

using ThreadHandle = std::uintptr_t;  // 0: no thread
using ThreadProc = void (*)(int argument);

// Starts proc(argument) on a new thread; 0 when the thread cannot be started.
ThreadHandle StartThread(ThreadProc proc, int argument);

// Keeps the thread from doing further work until the program ends, where the
// platform can (SuspendThread on Windows). Failures are ignored.
void SuspendThread(ThreadHandle thread);
// Gives up the handle; the thread itself goes on. Failures are ignored.
void CloseThread(ThreadHandle thread);

void SleepMs(int milliseconds);

}  // namespace vantrel::platform
