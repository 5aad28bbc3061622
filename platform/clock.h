// Local wall-clock time, for the run log header and the status and activity texts.
#pragma once

#include <string>

namespace vantrel::platform {

struct LocalTime {
  int year = 0;
  int month = 0;  // 1-12
  int day = 0;
  int hour = 0;   // 0-23
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

LocalTime NowLocal();


}  // namespace vantrel::platform
