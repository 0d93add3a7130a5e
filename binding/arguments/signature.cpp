#include "binding/arguments/signature.hpp"

#include <string>
#include <vector>

#include "binding/runtime/errors.hpp"
#include "binding/runtime/py_ref.hpp"

namespace corvalinth::py {
namespace {

std::string quoted(const char* name) { return std::string("'") + name + "'"; }

[[noreturn]] void raise_too_many_positional(const Signature& signature, std::size_t given) {
  std::size_t required = 0;
  for (const Parameter& p : signature.parameters) required += p.required ? 1 : 0;
  const std::size_t most = positional_count(signature);
  std::string message = std::string(signature.function) + "() takes ";
  if (required == most) {
    message += std::to_string(most);
  } else {
    message += "from " + std::to_string(required) + " to " + std::to_string(most);
  }
  message += " positional arguments but " + std::to_string(given) +
             (given == 1 ? " was given" : " were given");
  raise(PyExc_TypeError, message);
}

[[noreturn]] void raise_missing(const Signature& signature, const std::vector<const char*>& names) {
  std::string message = std::string(signature.function) + "() missing " +
                        std::to_string(names.size()) + " required positional argument" +
                        (names.size() == 1 ? "" : "s") + ": ";
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (k > 0) message += (k + 1 == names.size()) ? " and " : ", ";
    message += quoted(names[k]);
  }
  raise(PyExc_TypeError, message);
}

// Index of the parameter called `keyword`, or the table size when there is none.
std::size_t find_parameter(const Signature& signature, PyObject* keyword) {
  Py_ssize_t length = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(keyword, &length);
  if (utf8 == nullptr) throw PythonErrorSet{};
  const std::string_view name(utf8, static_cast<std::size_t>(length));
  for (std::size_t k = 0; k < signature.parameters.size(); ++k) {
    if (name == signature.parameters[k].name) return k;
  }
  return signature.parameters.size();
}

}  // namespace

std::size_t positional_count(const Signature& signature) {
  std::size_t count = 0;
  for (const Parameter& p : signature.parameters) count += p.keyword_only ? 0 : 1;
  return count;
}

void bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::span<PyObject*> bound) {
  const std::size_t count = signature.parameters.size();
  for (PyObject*& slot : bound) slot = nullptr;
  const auto positional = static_cast<std::size_t>(nargs);
  if (positional > positional_count(signature)) raise_too_many_positional(signature, positional);
  for (std::size_t k = 0; k < positional; ++k) bound[k] = args[k];

  const Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_Size(kwnames);
  for (Py_ssize_t k = 0; k < keywords; ++k) {
    PyObject* keyword = PyTuple_GetItem(kwnames, k);
    if (keyword == nullptr) throw PythonErrorSet{};
    const std::size_t index = find_parameter(signature, keyword);
    if (index == count) {
      const PyRef message = PyRef::steal(PyUnicode_FromFormat(
          "%s() got an unexpected keyword argument '%U'", signature.function, keyword));
      if (message) PyErr_SetObject(PyExc_TypeError, message.get());
      throw PythonErrorSet{};
    }
    if (bound[index] != nullptr) {
      raise(PyExc_TypeError, std::string(signature.function) +
                                 "() got multiple values for argument " +
                                 quoted(signature.parameters[index].name));
    }
    bound[index] = args[nargs + k];
  }

  std::vector<const char*> missing;
  for (std::size_t k = 0; k < count; ++k) {
    if (signature.parameters[k].required && bound[k] == nullptr) {
      missing.push_back(signature.parameters[k].name);
    }
  }
  if (!missing.empty()) raise_missing(signature, missing);
}

}  // namespace corvalinth::py
