#include "binding/runtime/signal_poller.hpp"

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

}  // namespace

SignalPoller::SignalPoller(ErrorSlot& slot) : slot_(slot) {
  if (!on_main_thread()) return;
  slot_.stop_token().attach_poller(this, kPollInterval);
  attached_ = true;
}

SignalPoller::~SignalPoller() {
  if (attached_) slot_.stop_token().attach_poller(nullptr, {});
}

void SignalPoller::poll() {
  // Takes the lock back if the run released it; does nothing more if the run holds it.
  const PyGILState_STATE lock = PyGILState_Ensure();
  if (PyErr_CheckSignals() < 0) slot_.capture_pending();
  PyGILState_Release(lock);
}

}  // namespace corvalinth::py
