// ErrorSlot: where the adapters of one call keep the first Python exception raised by user code
// during a run, and the stop token of that run. The core never sees Python errors: an adapter
// runs user code through `run`, which keeps the exception, asks the run to stop, and answers with
// a placeholder; the front end raises the stored exception once the run has returned.
#pragma once

#include <utility>

#include "binding/runtime/errors.hpp"
#include "binding/runtime/py_ref.hpp"
#include "binding/runtime/python.hpp"
#include "core/records.hpp"
#include "core/stop_token.hpp"

namespace corvalinth::py {

class ErrorSlot {
 public:
  bool holds_error() const { return static_cast<bool>(type_); }

  // The token the call's run is given. The slot requests a stop when it takes an exception.
  StopToken& stop_token() { return stop_token_; }

  // Moves the pending Python error into the slot and asks the run to stop. Only the first one is
  // kept: a later error is cleared and dropped.
  void capture_pending();

  // The one guard around user code. Calls `user_code` (which signals a Python error by throwing
  // PythonErrorSet) and returns its answer; once the slot holds an exception, or when this call
  // raises (the exception is then kept), it calls nothing and answers `placeholder`.
  template <typename Answer, typename UserCode>
  Answer run(UserCode&& user_code, Answer placeholder) {
    if (holds_error()) return placeholder;
    try {
      return std::forward<UserCode>(user_code)();
    } catch (const PythonErrorSet&) {
      capture_pending();
      return placeholder;
    }
  }

  // Sets the stored exception as the pending Python error, emptying the slot.
  void restore();

  // After a run: raises the stored exception (as PythonErrorSet), if there is one.
  void raise_if_held() {
    if (!holds_error()) return;
    restore();
    throw PythonErrorSet{};
  }

  // After a run: if the slot holds an exception, attaches `partial(reason)` (a PyRef, null for
  // none) to it as its attribute `partial_result`, then raises it. The reason is Interrupted for
  // an exception that is no Exception (KeyboardInterrupt, SystemExit), Error otherwise. When the
  // partial result cannot be built or attached, the stored exception is raised all the same.
  template <typename MakePartial>
  void raise_if_held_with_partial(MakePartial&& partial) {
    if (!holds_error()) return;
    try {
      attach_partial_result(std::forward<MakePartial>(partial)(held_reason()));
    } catch (const PythonErrorSet&) {
      PyErr_Clear();
    }
    raise_if_held();
  }

 private:
  StopReason held_reason() const;
  void attach_partial_result(PyRef partial);

  PyRef type_;
  PyRef value_;
  PyRef traceback_;
  StopToken stop_token_;
};

}  // namespace corvalinth::py
