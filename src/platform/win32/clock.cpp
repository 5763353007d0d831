#include <windows.h>

#include "platform/clock.h"

namespace slicery::platform {

double RealClock::secondsSinceMidnight() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return now.wHour * 3600.0 + now.wMinute * 60.0 + now.wSecond + now.wMilliseconds / 1e3;
}

}  // namespace slicery::platform
