// The part of a driver (driven_object.hpp) that reads its run the same way whatever the run:
// progress, stop and saved state. `Derived` owns the run and gives it as driven() (a SwarmRun,
// MopsoRun or AsyncRun over one), after the settings, space and rule it references.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "binding/front_ends/driven_object.hpp"
#include "core/async_run.hpp"
#include "core/records.hpp"
#include "core/run_state.hpp"

namespace corvalinth::py {

template <typename Interface, typename Derived>
class RunDriver : public Interface {
 public:
  bool done() const override { return steps().finished(); }
  StopReason stop_reason() const override { return steps().stop_reason(); }
  std::uint64_t iteration() const override { return steps().iteration(); }
  std::uint64_t evaluations() const override { return steps().evaluations(); }

  std::vector<std::uint8_t> save() const override {
    StateWriter out;
    derived().driven().save(out);
    return out.take();
  }

  void restore(std::span<const std::uint8_t> bytes) override {
    StateReader in(bytes);
    static_cast<Derived&>(*this).driven().restore(in);
  }

 protected:
  // The synchronous run whose steps are taken, read-only.
  const auto& steps() const { return steps_of(derived().driven()); }

 private:
  const Derived& derived() const { return static_cast<const Derived&>(*this); }
};

}  // namespace corvalinth::py
