// Cancellation of a run by whoever hosts it. A host hands a run a StopToken; the run loops ask
// it after every evaluation (or batch) whether to stop, and a cancelled run ends there. The core
// gives the token no meaning: a host requests a stop for its own reasons (a failure it keeps for
// itself, a signal, a user pressing a button) and knows why afterwards.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace corvalinth {

// Something a run consults at a bounded interval of run time, on the run's thread, to learn of
// events the run cannot see by itself (a pending signal, for instance). `poll` may call
// StopToken::request_stop on the token it is attached to.
class StopPoller {
 public:
  virtual ~StopPoller() = default;
  virtual void poll() = 0;
};

// A stop request shared by a run and its host.
//
// `request_stop` may be called from any thread, at any time; the run stops at its next check.
// `should_stop` is the run's check: one countdown and one relaxed load per call, so that the
// native loop pays nothing measurable for it. When a poller is attached, every so many checks
// read the clock, and the poller is called once `poll_interval` of run time has passed since its
// last call. How many checks go between clock readings adapts to the time the checks take, so the
// interval stays bounded from a microsecond evaluation to a slow one.
class StopToken {
 public:
  using Clock = std::chrono::steady_clock;

  StopToken() = default;
  StopToken(const StopToken&) = delete;
  StopToken& operator=(const StopToken&) = delete;

  void request_stop() noexcept { requested_.store(true, std::memory_order_relaxed); }
  bool stop_requested() const noexcept { return requested_.load(std::memory_order_relaxed); }

  // Attaches `poller` (null detaches it); it is first called at the first check.
  void attach_poller(StopPoller* poller, Clock::duration poll_interval) noexcept;

  // The run's check after an evaluation or a batch: true when the run must end now.
  bool should_stop() {
    if (--countdown_ == 0) [[unlikely]] poll_if_due();
    return stop_requested();
  }

 private:
  // Reads the clock, adjusts the number of checks until the next reading, and calls the poller
  // when its interval has passed.
  void poll_if_due();

  static constexpr std::uint64_t kNever = UINT64_MAX;
  static constexpr std::uint64_t kMaxStride = std::uint64_t{1} << 20;

  std::atomic<bool> requested_{false};
  std::uint64_t countdown_ = kNever;
  StopPoller* poller_ = nullptr;
  Clock::duration poll_interval_{};
  std::uint64_t stride_ = 1;             // checks between two clock readings
  Clock::time_point last_reading_{};
  Clock::time_point last_poll_{};
};

}  // namespace corvalinth
