// ErrorSlot: where the adapters of one call keep the first Python exception raised by user code
// during a run. The core never sees Python errors: an adapter stores the exception, answers with a
// placeholder, and the front end raises the stored exception once the run has returned.
#pragma once

#include "binding/errors.hpp"
#include "binding/py_ref.hpp"
#include "binding/python.hpp"

namespace corvalinth::py {

class ErrorSlot {
 public:
  bool holds_error() const { return static_cast<bool>(type_); }

  // Moves the pending Python error into the slot. Only the first one is kept: a later error is
  // cleared and dropped.
  void capture_pending();

  // Sets the stored exception as the pending Python error, emptying the slot.
  void restore();

  // After a run: raises the stored exception (as PythonErrorSet), if there is one.
  void raise_if_held() {
    if (!holds_error()) return;
    restore();
    throw PythonErrorSet{};
  }

 private:
  PyRef type_;
  PyRef value_;
  PyRef traceback_;
};

}  // namespace corvalinth::py
