#include <cstdio>

#include "text/clock_text.h"

namespace vantrel::text {

std::string ClockText(const platform::LocalTime& time) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", time.hour % 100, time.minute % 100,
                time.second % 100);
  return text;
}

}  // namespace vantrel::text
