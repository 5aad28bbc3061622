// Local wall-clock time from the C library.
#include <time.h>

#include "platform/clock.h"

namespace vantrel::platform {

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
