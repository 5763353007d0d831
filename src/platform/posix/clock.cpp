#include <sys/time.h>

#include <ctime>

#include "platform/clock.h"

namespace slicery::platform {

double RealClock::secondsSinceMidnight() {
  timeval now{};
  ::gettimeofday(&now, nullptr);
  const time_t seconds = now.tv_sec;
  tm local{};
  ::localtime_r(&seconds, &local);
  return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + now.tv_usec / 1e6;
}

}  // namespace slicery::platform
