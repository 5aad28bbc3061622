// The clock as status and activity texts show it.
#pragma once

#include <string>

#include "platform/clock.h"

namespace vantrel::text {

// "HH:MM:SS", 24-hour clock, the form every status and activity text uses.
std::string ClockText(const platform::LocalTime& time);

}  // namespace vantrel::text
