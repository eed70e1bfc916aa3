// The local date and time as file names and log lines use it. Each operating system
// defines it in its layer (platform/posix/LocalTime.cpp).
#pragma once

#include <string>

// "yyyymmdd" + `separator` + "hhnnss" (24-hour), for now.
std::string LocalTimeStamp(char separator = '_');
// "hh:nn:ss.zzz" (24-hour, milliseconds) for log lines, or "hhnnsszzz" when
// `compact`, for file names.
std::string LocalClockTime(bool compact = false);
