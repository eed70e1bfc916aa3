// The local date and time as file names use it. Each operating system
// defines it in its layer (platform/posix/LocalTime.cpp).
#pragma once

#include <string>

// "yyyymmdd" + `separator` + "hhnnss" (24-hour), for now.
std::string LocalTimeStamp(char separator = '_');
// "hhnnsszzz": hour (24-hour), minute, second and milliseconds, for now.
std::string LocalTimeOfDayMillis();
