// Local wall-clock time from the system clock.
#include <windows.h>

#include "platform/clock.h"

namespace vantrel::platform {

LocalTime NowLocal() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  LocalTime result;
  result.year = now.wYear;
  result.month = now.wMonth;
  result.day = now.wDay;
  result.hour = now.wHour;
  result.minute = now.wMinute;
  result.second = now.wSecond;
  result.millisecond = now.wMilliseconds;
  return result;
}

}  // namespace vantrel::platform
