// The one way a front end runs the core: an ErrorSlot with a SignalPoller on it, the caller's
// callback behind its adapter, the interpreter lock released when no Python code can run, and
// the slot's exception raised once the run has returned.
#pragma once

#include "binding/runtime/error_slot.hpp"
#include "binding/runtime/interpreter_lock.hpp"
#include "binding/runtime/python.hpp"
#include "binding/runtime/signal_poller.hpp"

namespace corvalinth::py {

// Calls `body(slot, watcher)` and returns its result. `watcher` is a `CallbackAdapter` over
// `callback` (borrowed), or null when there is none; `native` says that the objective is no
// Python code, so that a run without a callback releases the lock.
template <typename CallbackAdapter, typename Body>
auto guarded_run(PyObject* callback, bool native, Body&& body) {
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
  slot.raise_if_held();
  return result;
}

}  // namespace corvalinth::py
