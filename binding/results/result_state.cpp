#include "binding/results/result_state.hpp"

#include <string>

#include "binding/arguments/convert.hpp"
#include "binding/runtime/errors.hpp"
#include "core/run_state.hpp"

namespace corvalinth::py {
namespace {

constexpr StopReason kStopReasons[] = {StopReason::MaxIterations,  StopReason::Target,
                                       StopReason::MaxEvaluations, StopReason::Stagnation,
                                       StopReason::MaxTime,        StopReason::Callback,
                                       StopReason::Interrupted,    StopReason::Error};

}  // namespace

void bad_state(const char* key, const char* problem) {
  raise(PyExc_ValueError, std::string("invalid result state: '") + key + "' " + problem);
}

PyRef doubles_to_bytes(std::span<const double> values) {
  PyRef bytes =
      checked(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(values.size() * 8)));
  char* out = PyBytes_AsString(bytes.get());
  if (out == nullptr) throw PythonErrorSet{};
  store_f64_words(values, reinterpret_cast<std::uint8_t*>(out));
  return bytes;
}

StateDictWriter::StateDictWriter() : dict_(checked(PyDict_New())) {}

void StateDictWriter::put(const char* key, PyRef value) {
  if (PyDict_SetItemString(dict_.get(), key, value.get()) != 0) throw PythonErrorSet{};
}

void StateDictWriter::put(const char* key, std::uint64_t value) {
  put(key, checked(PyLong_FromUnsignedLongLong(value)));
}

void StateDictWriter::put(const char* key, double value) {
  put(key, checked(PyFloat_FromDouble(value)));
}

void StateDictWriter::put(const char* key, std::span<const double> values) {
  put(key, doubles_to_bytes(values));
}

void StateDictWriter::put(const char* key, StopReason reason) {
  put(key, new_str(stop_reason_name(reason)));
}

void StateDictWriter::put(const char* key, const History& history) {
  put(key, checked(Py_BuildValue("(KKKN)", static_cast<unsigned long long>(history.particles),
                                 static_cast<unsigned long long>(history.dim),
                                 static_cast<unsigned long long>(history.iterations()),
                                 doubles_to_bytes(history.positions).release())));
}

PyRef StateDictWriter::reduce_with(const char* reconstructor) {
  const PyRef module = checked(PyImport_ImportModule("corvalinth_native"));
  PyRef function = checked(PyObject_GetAttrString(module.get(), reconstructor));
  return checked(Py_BuildValue("(O(O))", function.get(), dict_.get()));
}

StateDictReader::StateDictReader(PyObject* state) : state_(state) {
  if (PyDict_Check(state) == 0) {
    raise(PyExc_TypeError, "result state must be a dict, not " + type_name(state));
  }
}

PyObject* StateDictReader::item(const char* key) const {
  PyObject* value = PyDict_GetItemString(state_, key);  // borrowed
  if (value == nullptr) bad_state(key, "is missing");
  return value;
}

std::uint64_t count_from(PyObject* value, const char* key) {
  if (PyLong_Check(value) == 0) bad_state(key, "holds a value that is not an int");
  const unsigned long long number = PyLong_AsUnsignedLongLong(value);
  if (number == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr) {
    PyErr_Clear();
    bad_state(key, "holds an int outside [0, 2**64)");
  }
  return number;
}

std::uint64_t array_size(std::uint64_t a, std::uint64_t b, const char* key) {
  constexpr std::uint64_t kMaxValues = PY_SSIZE_T_MAX / sizeof(double);
  if (a > kMaxValues || b > kMaxValues || (b != 0 && a > kMaxValues / b)) {
    bad_state(key, "has sizes too large for an array");
  }
  return a * b;
}

std::uint64_t StateDictReader::count(const char* key) const { return count_from(item(key), key); }

void StateDictReader::read(const char* key, double& number) const {
  PyObject* value = item(key);
  if (PyFloat_Check(value) == 0) bad_state(key, "must be a float");
  number = PyFloat_AsDouble(value);
}

std::vector<double> doubles_from_bytes(PyObject* bytes, const char* key) {
  if (PyBytes_Check(bytes) == 0) bad_state(key, "must hold bytes of doubles");
  const Py_ssize_t size = PyBytes_Size(bytes);
  if (size % 8 != 0) bad_state(key, "must hold a whole number of doubles");
  const char* in = PyBytes_AsString(bytes);
  if (in == nullptr) throw PythonErrorSet{};
  std::vector<double> values(static_cast<std::size_t>(size / 8));
  load_f64_words(reinterpret_cast<const std::uint8_t*>(in), values);
  return values;
}

std::vector<double> StateDictReader::doubles(const char* key) const {
  return doubles_from_bytes(item(key), key);
}

void StateDictReader::read(const char* key, StopReason& reason) const {
  PyObject* value = item(key);
  if (PyUnicode_Check(value) == 0) bad_state(key, "must be a str");
  const std::string name = to_str(value);
  for (const StopReason known : kStopReasons) {
    if (stop_reason_name(known) == name) {
      reason = known;
      return;
    }
  }
  bad_state(key, "is not a stop reason");
}

void StateDictReader::read(const char* key, History& history) const {
  PyObject* value = item(key);
  if (PyTuple_Check(value) == 0 || PyTuple_Size(value) != 4) {
    bad_state(key, "must be a tuple (particles, dim, iterations, bytes)");
  }
  std::uint64_t sizes[3];
  for (Py_ssize_t k = 0; k < 3; ++k) sizes[k] = count_from(PyTuple_GetItem(value, k), key);
  std::vector<double> positions = doubles_from_bytes(PyTuple_GetItem(value, 3), key);
  const std::uint64_t per_iteration = array_size(sizes[0], sizes[1], key);
  // An empty snapshot repeated many times would cost time on every read: a recorded iteration
  // holds at least one value.
  if ((sizes[2] != 0 && per_iteration == 0) ||
      array_size(per_iteration, sizes[2], key) != positions.size()) {
    bad_state(key, "must hold particles x dim x iterations doubles");
  }
  history =
      History::restored(static_cast<std::size_t>(sizes[0]), static_cast<std::size_t>(sizes[1]),
                        static_cast<std::size_t>(sizes[2]), std::move(positions));
}

}  // namespace corvalinth::py
