#include "core/stop_token.hpp"

namespace corvalinth {

void StopToken::attach_poller(StopPoller* poller, Clock::duration poll_interval) noexcept {
  poller_ = poller;
  poll_interval_ = poll_interval;
  stride_ = 1;
  countdown_ = poller == nullptr ? kNever : 1;
  last_reading_ = last_poll_ = Clock::now() - poll_interval;
}

void StopToken::poll_if_due() {
  if (poller_ == nullptr) {
    countdown_ = kNever;
    return;
  }
  const Clock::time_point now = Clock::now();
  // Aim at about four clock readings per poll interval: double the stride while the readings come
  // much faster than that; when they come slower, shrink it at once in proportion, so that a run
  // whose evaluations turn slow is back within the interval after one reading.
  const Clock::duration target = poll_interval_ / 4;
  const Clock::duration since_reading = now - last_reading_;
  if (since_reading < target / 2) {
    if (stride_ < kMaxStride) stride_ *= 2;
  } else if (since_reading > target) {
    const double scale = static_cast<double>(target.count()) /
                         static_cast<double>(since_reading.count());
    const auto scaled = static_cast<std::uint64_t>(static_cast<double>(stride_) * scale);
    stride_ = scaled > 1 ? scaled : 1;
  }
  last_reading_ = now;
  countdown_ = stride_;
  if (now - last_poll_ >= poll_interval_) {
    poller_->poll();
    // The interval counts run time: a poll that waited (for a lock, say) does not shorten it.
    last_poll_ = Clock::now();
  }
}

}  // namespace corvalinth
