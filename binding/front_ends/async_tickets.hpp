// What the asynchronous forms of Optimizer and MultiOptimizer share (core/async_run.hpp): the
// (ticket, point) pairs they hand out, their points out and events as Python lists, and the
// reading and checking of a told ticket.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "binding/arguments/convert.hpp"
#include "binding/front_ends/driven_object.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/py_ref.hpp"
#include "core/async_run.hpp"

namespace corvalinth::py {

template <typename Element>
PyRef ticket_and_point(std::uint64_t ticket, std::span<const Element> point) {
  const PyRef number = checked(PyLong_FromUnsignedLongLong(ticket));
  const PyRef list = new_point_list(point);
  return checked(PyTuple_Pack(2, number.get(), list.get()));
}

// The (ticket, point) pairs out, in ask order.
template <typename Async>
PyRef out_pairs(Async& run) {
  PyRef list = checked(PyList_New(static_cast<Py_ssize_t>(run.out_count())));
  for (std::size_t k = 0; k < run.out_count(); ++k) {
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k),
                   ticket_and_point(run.out_ticket(k), run.out_point(k)).release());
  }
  return list;
}

// Every event as (ticket, None) for an ask, (ticket, value) for a tell: a float when `single`,
// otherwise the list of objective values.
inline PyRef event_pairs(const AsyncEvents& events, bool single) {
  PyRef list = checked(PyList_New(static_cast<Py_ssize_t>(events.size())));
  for (std::size_t k = 0; k < events.size(); ++k) {
    const PyRef ticket = checked(PyLong_FromUnsignedLongLong(events.ticket(k)));
    PyRef value = PyRef::borrow(Py_None);
    if (events.is_tell(k)) {
      value = single ? checked(PyFloat_FromDouble(events.values(k)[0]))
                     : new_float_list(events.values(k));
    }
    PyObject* pair = PyTuple_Pack(2, ticket.get(), value.get());
    if (pair == nullptr) throw PythonErrorSet{};
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k), pair);
  }
  return list;
}

inline void refuse_asynchronous_batch(bool asynchronous, bool batch) {
  if (asynchronous && batch) {
    raise(PyExc_ValueError,
          "asynchronous=True hands out one point at a time; it cannot be combined with batch=True");
  }
}

// A told ticket: an int, which may be beyond what any ticket can be.
struct ToldTicket {
  PyObject* given;
  unsigned long long value = 0;
  bool representable = false;
};

// The ticket of tell(ticket, value) among `nargs` positional arguments; `kind` names the class
// and `value` what follows the ticket in the TypeError of a wrong count.
inline ToldTicket told_ticket(PyObject* const* args, Py_ssize_t nargs, const char* kind,
                              const char* value) {
  if (nargs != 2) {
    raise(PyExc_TypeError, std::string(kind) + ".tell() takes a ticket and " + value +
                               " in an asynchronous run (" + std::to_string(nargs) + " given)");
  }
  if (!PyLong_Check(args[0])) {
    raise(PyExc_TypeError, "ticket must be an int, not " + type_name(args[0]));
  }
  ToldTicket ticket{args[0]};
  ticket.value = PyLong_AsUnsignedLongLong(args[0]);
  ticket.representable = !(ticket.value == static_cast<unsigned long long>(-1) && PyErr_Occurred());
  if (!ticket.representable) PyErr_Clear();
  return ticket;
}

// A ValueError unless the run goes on and `ticket` is out. Checked before and again after the
// value's conversion, which may run Python code that told the optimizer meanwhile.
template <typename Async>
void require_out(const DrivenRun& driver, const Async& run, const ToldTicket& ticket) {
  require_running(driver, "tell()");
  if (!ticket.representable || !run.is_out(ticket.value)) {
    const PyRef text = checked(PyObject_Repr(ticket.given));
    raise(PyExc_ValueError,
          "tell() got ticket " + to_str(text.get()) + ", which is not out for evaluation");
  }
}

}  // namespace corvalinth::py
