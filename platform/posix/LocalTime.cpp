// The POSIX definitions of the local time stamps.
#include "shared/LocalTime.h"

#include <chrono>
#include <cstdio>
#include <ctime>

std::string LocalTimeStamp(char separator) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char date[16];
  char time[16];
  std::strftime(date, sizeof date, "%Y%m%d", &local);
  std::strftime(time, sizeof time, "%H%M%S", &local);
  return std::string(date) + separator + time;
}

std::string LocalClockTime(bool compact) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  std::snprintf(text, sizeof text, compact ? "%02d%02d%02d%03d" : "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(millis));
  return text;
}
