// Clock: the time of day as seconds since local midnight, with a fraction.
#pragma once

namespace slicery::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual double secondsSinceMidnight() = 0;
};

class RealClock : public Clock {
 public:
  double secondsSinceMidnight() override;
};

// A clock that reads whatever the test set last.
class SettableClock : public Clock {
 public:
  explicit SettableClock(double seconds = 0) : seconds_(seconds) {}
  void set(double seconds) { seconds_ = seconds; }
  double secondsSinceMidnight() override { return seconds_; }

 private:
  double seconds_;
};

// Rounds to the nearest whole second, an exact half going to the even one.
long roundHalfToEven(double seconds);

}  // namespace slicery::platform
