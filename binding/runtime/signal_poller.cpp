#include "binding/runtime/signal_poller.hpp"

#include <utility>

#include "binding/runtime/py_ref.hpp"

namespace corvalinth::py {
namespace {

// True on the thread Python delivers signals to. Asking runs Python code, so a pending signal's
// handler may raise here: that exception is the call's, raised before the run starts.
bool on_main_thread() {
  const PyRef threading = checked(PyImport_ImportModule("threading"));
  const PyRef main = checked(PyObject_CallMethod(threading.get(), "main_thread", nullptr));
  const PyRef ident = checked(PyObject_GetAttrString(main.get(), "ident"));
  const unsigned long main_ident = PyLong_AsUnsignedLong(ident.get());
  throw_if_error_set();
  return main_ident == PyThread_get_thread_ident();
}

// The stop event of this thread, owned; touched only with the interpreter lock held.
thread_local PyObject* thread_stop_event = nullptr;

// True once `event.is_set()` answers true; a Python error from it is left pending.
bool stop_event_set(PyObject* event) {
  const PyRef answer = PyRef::steal(PyObject_CallMethod(event, "is_set", nullptr));
  if (!answer) throw PythonErrorSet{};
  const int set = PyObject_IsTrue(answer.get());
  if (set < 0) throw PythonErrorSet{};
  return set == 1;
}

}  // namespace

SignalPoller::SignalPoller(ErrorSlot& slot) : slot_(slot) {
  if (!on_main_thread()) {
    if (thread_stop_event == nullptr) return;
    stop_event_ = PyRef::borrow(thread_stop_event);
  }
  slot_.stop_token().attach_poller(this, kPollInterval);
  attached_ = true;
}

SignalPoller::~SignalPoller() {
  if (attached_) slot_.stop_token().attach_poller(nullptr, {});
}

void SignalPoller::poll() {
  // Takes the lock back if the run released it; does nothing more if the run holds it.
  const PyGILState_STATE lock = PyGILState_Ensure();
  if (!stop_event_) {
    if (PyErr_CheckSignals() < 0) slot_.capture_pending();
  } else {
    try {
      if (stop_event_set(stop_event_.get())) {
        PyErr_SetString(PyExc_RuntimeError, "run stopped: its thread's stop event was set");
        slot_.capture_pending();
      }
    } catch (const PythonErrorSet&) {
      slot_.capture_pending();
    }
  }
  PyGILState_Release(lock);
}

PyObject* set_thread_stop_event(PyObject*, PyObject* event) {
  PyObject* previous =
      std::exchange(thread_stop_event, event == Py_None ? nullptr : Py_NewRef(event));
  Py_XDECREF(previous);
  Py_RETURN_NONE;
}

}  // namespace corvalinth::py
