// The POSIX definition of the local time stamp.
#include "shared/LocalTime.h"

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
