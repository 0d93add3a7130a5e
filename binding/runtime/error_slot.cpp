#include "binding/runtime/error_slot.hpp"

namespace corvalinth::py {

void ErrorSlot::capture_pending() {
  stop_token_.request_stop();
  if (holds_error()) {
    PyErr_Clear();
    return;
  }
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) {
    // Defensive: a failure without an exception set still has to stop the Python side.
    type = Py_NewRef(PyExc_SystemError);
    value = PyUnicode_FromString("error return without exception set");
  }
  type_ = PyRef::steal(type);
  value_ = PyRef::steal(value);
  traceback_ = PyRef::steal(traceback);
}

void ErrorSlot::restore() {
  PyErr_Restore(type_.release(), value_.release(), traceback_.release());
}

StopReason ErrorSlot::held_reason() const {
  return PyErr_GivenExceptionMatches(type_.get(), PyExc_Exception) ? StopReason::Error
                                                                   : StopReason::Interrupted;
}

void ErrorSlot::attach_partial_result(PyRef partial) {
  if (!partial) return;
  PyObject* type = type_.release();
  PyObject* value = value_.release();
  PyObject* traceback = traceback_.release();
  PyErr_NormalizeException(&type, &value, &traceback);  // an instance to carry the attribute
  type_ = PyRef::steal(type);
  value_ = PyRef::steal(value);
  traceback_ = PyRef::steal(traceback);
  if (value_ && PyObject_SetAttrString(value_.get(), "partial_result", partial.get()) != 0) {
    PyErr_Clear();  // an exception that takes no attributes is raised without it
  }
}

}  // namespace corvalinth::py
