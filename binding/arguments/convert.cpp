#include "binding/arguments/convert.hpp"

#include <cmath>
#include <limits>

namespace corvalinth::py {

std::string type_name(PyObject* object) {
  const PyRef name = PyRef::steal(PyType_GetName(Py_TYPE(object)));
  if (!name) {
    PyErr_Clear();
    return "object";
  }
  const char* utf8 = PyUnicode_AsUTF8AndSize(name.get(), nullptr);
  if (utf8 == nullptr) {
    PyErr_Clear();
    return "object";
  }
  return utf8;
}

bool is_str(PyObject* object) { return PyUnicode_Check(object) != 0; }

bool is_numpy_bool(PyObject* object) {
  PyTypeObject* type = Py_TYPE(object);
  const PyRef module = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type),
                                                           "__module__"));
  if (!module || !is_str(module.get())) {
    PyErr_Clear();
    return false;
  }
  if (PyUnicode_CompareWithASCIIString(module.get(), "numpy") != 0) return false;
  const std::string name = type_name(object);
  return name == "bool_" || name == "bool";
}

namespace {

// NumPy's complex scalars that do not derive from complex (complex64, clongdouble): their
// __float__ drops the imaginary part with no more than a warning.
bool is_numpy_complex(PyObject* object) {
  PyTypeObject* type = Py_TYPE(object);
  const PyRef module =
      PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__module__"));
  if (!module || !is_str(module.get())) {
    PyErr_Clear();
    return false;
  }
  if (PyUnicode_CompareWithASCIIString(module.get(), "numpy") != 0) return false;
  const std::string name = type_name(object);
  return name.starts_with("complex") || name == "clongdouble" || name == "csingle";
}

[[noreturn]] void raise_cannot_convert(PyObject* object, const char* target) {
  std::string message = "'";
  message.append(type_name(object)).append("' object cannot be converted to '");
  message.append(target).append("'");
  raise(PyExc_TypeError, message);
}

// The sequence protocol, refusing a str.
Py_ssize_t sequence_length(PyObject* object) {
  if (is_str(object)) raise(PyExc_TypeError, "Can't extract `str` to `Vec`");
  if (PySequence_Check(object) == 0) raise_cannot_convert(object, "Sequence");
  const Py_ssize_t length = PySequence_Size(object);
  if (length < 0) throw PythonErrorSet{};
  return length;
}

PyRef sequence_item(PyObject* sequence, Py_ssize_t index) {
  return checked(PySequence_GetItem(sequence, index));
}

}  // namespace

std::uint64_t to_u64(PyObject* object) {
  const PyRef index = checked(PyNumber_Index(object));
  const unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
  if (value == static_cast<unsigned long long>(-1)) throw_if_error_set();
  return value;
}

double to_f64(PyObject* object) {
  if (PyFloat_Check(object)) return PyFloat_AsDouble(object);
  // A complex number is refused as Python refuses complex (NumPy's would lose their imaginary
  // part); ints, the common other case, skip the type's lookup.
  if (PyComplex_Check(object) || (!PyLong_Check(object) && is_numpy_complex(object))) {
    raise(PyExc_TypeError, "must be real number, not " + type_name(object));
  }
  const double value = PyFloat_AsDouble(object);
  if (value == -1.0) throw_if_error_set();
  return value;
}

bool to_bool(PyObject* object) {
  if (object == Py_True) return true;
  if (object == Py_False) return false;
  if (is_numpy_bool(object)) {
    const int truth = PyObject_IsTrue(object);
    if (truth < 0) throw PythonErrorSet{};
    return truth != 0;
  }
  raise_cannot_convert(object, "bool");
}

std::string to_str(PyObject* object) {
  if (!is_str(object)) raise_cannot_convert(object, "str");
  Py_ssize_t length = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(object, &length);
  if (utf8 == nullptr) throw PythonErrorSet{};
  return std::string(utf8, static_cast<std::size_t>(length));
}

std::vector<PyRef> to_object_list(PyObject* object) {
  const Py_ssize_t length = sequence_length(object);
  std::vector<PyRef> items;
  items.reserve(static_cast<std::size_t>(length));
  for (Py_ssize_t k = 0; k < length; ++k) items.push_back(sequence_item(object, k));
  return items;
}

std::vector<double> to_f64_list(PyObject* object) {
  const Py_ssize_t length = sequence_length(object);
  std::vector<double> values;
  values.reserve(static_cast<std::size_t>(length));
  for (Py_ssize_t k = 0; k < length; ++k) values.push_back(to_f64(sequence_item(object, k).get()));
  return values;
}

std::vector<std::string> to_str_list(PyObject* object) {
  const Py_ssize_t length = sequence_length(object);
  std::vector<std::string> values;
  values.reserve(static_cast<std::size_t>(length));
  for (Py_ssize_t k = 0; k < length; ++k) values.push_back(to_str(sequence_item(object, k).get()));
  return values;
}

void run_signal_handlers() {
  if (PyErr_CheckSignals() < 0) throw PythonErrorSet{};
}

PyRef new_str(std::string_view text) {
  return checked(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

PyRef new_float_list(std::span<const double> values) {
  PyRef list = checked(PyList_New(static_cast<Py_ssize_t>(values.size())));
  for (std::size_t k = 0; k < values.size(); ++k) {
    // The list is nobody's yet, so a handler cannot see its empty slots.
    if (k % kValuesPerSignalCheck == kValuesPerSignalCheck - 1) run_signal_handlers();
    PyObject* item = PyFloat_FromDouble(values[k]);
    if (item == nullptr) throw PythonErrorSet{};
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k), item);  // steals item
  }
  return list;
}

PyRef new_int_list(std::span<const std::int64_t> values) {
  PyRef list = checked(PyList_New(static_cast<Py_ssize_t>(values.size())));
  for (std::size_t k = 0; k < values.size(); ++k) {
    PyObject* item = PyLong_FromLongLong(values[k]);
    if (item == nullptr) throw PythonErrorSet{};
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k), item);  // steals item
  }
  return list;
}

void wrap_argument_error(const char* name) {
  if (PyErr_ExceptionMatches(PyExc_TypeError) == 0) return;
  PyObject* raw_type = nullptr;
  PyObject* raw_value = nullptr;
  PyObject* raw_traceback = nullptr;
  PyErr_Fetch(&raw_type, &raw_value, &raw_traceback);
  PyErr_NormalizeException(&raw_type, &raw_value, &raw_traceback);
  const PyRef type = PyRef::steal(raw_type);
  PyRef cause = PyRef::steal(raw_value);
  const PyRef traceback = PyRef::steal(raw_traceback);
  if (traceback && cause) PyException_SetTraceback(cause.get(), traceback.get());

  const PyRef text = PyRef::steal(cause ? PyObject_Str(cause.get()) : PyUnicode_FromString(""));
  if (!text) return;
  const PyRef message = PyRef::steal(PyUnicode_FromFormat("argument '%s': %U", name, text.get()));
  if (!message) return;
  const PyRef error = PyRef::steal(PyObject_CallFunctionObjArgs(PyExc_TypeError, message.get(),
                                                                nullptr));
  if (!error) return;
  if (cause) PyException_SetCause(error.get(), cause.release());  // steals the cause
  PyErr_SetObject(PyExc_TypeError, error.get());
}

}  // namespace corvalinth::py
