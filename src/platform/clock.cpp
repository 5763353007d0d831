#include "platform/clock.h"

#include <cmath>

namespace slicery::platform {

long roundHalfToEven(double seconds) {
  const double floor = std::floor(seconds);
  const double fraction = seconds - floor;
  auto whole = static_cast<long>(floor);
  if (fraction > 0.5 || (fraction == 0.5 && whole % 2 != 0)) ++whole;
  return whole;
}

}  // namespace slicery::platform
