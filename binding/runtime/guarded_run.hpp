// The one way a front end runs the core: an ErrorSlot with a SignalPoller on it, the caller's
// callback behind its adapter, the interpreter lock released when no Python code can run, and
// the slot's exception raised once the run has returned; and the same for a long computation
// that reads no Python object.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "binding/runtime/error_slot.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/interpreter_lock.hpp"
#include "binding/runtime/python.hpp"
#include "binding/runtime/signal_poller.hpp"

namespace corvalinth::py {

// Calls `body(slot, watcher)` and returns its result. `watcher` is a `CallbackAdapter` over
// `callback` (borrowed), or null when there is none; `native` says that the objective is no
// Python code, so that a run without a callback releases the lock. When user code or a signal
// ended the run, its exception is raised carrying `partial(result)` as `partial_result`: the
// result the run returned (the best so far), its stop reason set to Interrupted or Error.
template <typename CallbackAdapter, typename Body, typename Partial>
auto guarded_run(PyObject* callback, bool native, Body&& body, Partial&& partial) {
  ErrorSlot slot;
  const SignalPoller poller(slot);
  auto result = [&] {
    if (callback != nullptr) {
      CallbackAdapter adapter(callback, slot);
      return body(slot, &adapter);
    }
    if (native) {
      const ReleasedInterpreterLock unlocked;
      return body(slot, nullptr);
    }
    return body(slot, nullptr);
  }();
  slot.raise_if_held_with_partial([&](StopReason reason) {
    result.stop_reason = reason;
    return partial(std::move(result));
  });
  return result;
}

// Runs `compute(stop_token)` without the interpreter lock; it must touch no Python object. Ctrl-C
// (any signal whose handler raises) ends it within a few milliseconds, through the exception
// `Cancelled` the computation throws when its token asks it to stop, and the handler's exception
// is raised instead of a result.
template <typename Cancelled, typename Compute>
auto interruptible_without_lock(Compute&& compute) {
  ErrorSlot slot;
  const SignalPoller poller(slot);
  std::optional<decltype(compute(&slot.stop_token()))> result;
  std::string cancelled;
  {
    const ReleasedInterpreterLock unlocked;
    try {
      result.emplace(compute(&slot.stop_token()));
    } catch (const Cancelled& error) {
      cancelled = error.what();  // the poller kept the reason in the slot
    }
  }
  slot.raise_if_held();
  if (!result) raise(PyExc_RuntimeError, cancelled);
  return std::move(*result);
}

}  // namespace corvalinth::py
