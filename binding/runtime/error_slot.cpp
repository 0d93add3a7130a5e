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

}  // namespace corvalinth::py
