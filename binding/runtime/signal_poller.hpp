// SignalPoller: lets Ctrl-C (or any signal with a Python handler) end a run promptly.
//
// CPython runs signal handlers only on the main thread, and only when that thread executes Python
// code or calls PyErr_CheckSignals. A native run never does either, and a run calling Python code
// may spend long stretches in C. While a SignalPoller is alive on the main thread it is attached to
// the slot's stop token: every `kPollInterval` of run time it takes the interpreter lock (a no-op
// when the run holds it), runs the handlers of pending signals, and keeps an exception a handler
// raises in the slot, which stops the run; the front end then raises it like any error of user
// code. A handler that returns normally (one that only sets a flag) lets the run go on.
//
// Another thread has no signals, but it may watch a stop event: `_watch_stop_event(event)` (a
// private module function, `set_thread_stop_event` below) gives the calling thread an object
// with an `is_set()` method, and every computation that thread starts until the event is
// replaced by None asks `event.is_set()` at the same interval; once it answers true, the
// computation raises RuntimeError("run stopped: its thread's stop event was set"), so a run whose
// result is no longer wanted (the others of a multistart that failed or was interrupted) ends
// within milliseconds, from whichever thread sets the event. A thread that watches nothing pays
// nothing.
//
// Use from any long native computation: create an ErrorSlot and, with the lock held, a
// SignalPoller on it; release the lock if the computation touches no Python object; call
// `slot.stop_token().should_stop()` every so often (it is nearly free) and give up when it answers
// true; with the lock held again, `slot.raise_if_held()`.
#pragma once

#include <chrono>

#include "binding/runtime/error_slot.hpp"
#include "binding/runtime/py_ref.hpp"
#include "core/stop_token.hpp"

namespace corvalinth::py {

class SignalPoller final : public StopPoller {
 public:
  // A signal is handled at most this long after the run first checks its token.
  static constexpr std::chrono::milliseconds kPollInterval{5};

  // Construct and destroy with the interpreter lock held, on the thread that runs the computation.
  // Throws PythonErrorSet if a signal handler raises while the thread is identified.
  explicit SignalPoller(ErrorSlot& slot);
  ~SignalPoller() override;
  SignalPoller(const SignalPoller&) = delete;
  SignalPoller& operator=(const SignalPoller&) = delete;

  void poll() override;

 private:
  ErrorSlot& slot_;
  bool attached_ = false;
  PyRef stop_event_;  // the thread's stop event, when not on the main thread
};

// _watch_stop_event(event_or_None): the stop event the calling thread's computations watch.
PyObject* set_thread_stop_event(PyObject* module, PyObject* event);

}  // namespace corvalinth::py
