#include "platform/clock.h"

#include <sys/time.h>

#include <cmath>
#include <ctime>

namespace slicery::platform {

double RealClock::secondsSinceMidnight() {
  timeval now{};
  ::gettimeofday(&now, nullptr);
  const time_t seconds = now.tv_sec;
  tm local{};
  ::localtime_r(&seconds, &local);
  return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + now.tv_usec / 1e6;
}

long roundHalfToEven(double seconds) {
  const double floor = std::floor(seconds);
  const double fraction = seconds - floor;
  auto whole = static_cast<long>(floor);
  if (fraction > 0.5 || (fraction == 0.5 && whole % 2 != 0)) ++whole;
  return whole;
}

}  // namespace slicery::platform
