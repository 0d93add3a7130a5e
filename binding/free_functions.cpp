#include "binding/free_functions.hpp"

#include <string>
#include <vector>

#include "core/benchmarks.hpp"
#include "binding/convert.hpp"
#include "binding/errors.hpp"
#include "core/mopso/hypervolume.hpp"
#include "binding/signature.hpp"

namespace corvalinth::py {
namespace {

constexpr Parameter kHypervolumeParameters[] = {{"front", true}, {"reference", true}};
constexpr Signature kHypervolumeSignature{"hypervolume", kHypervolumeParameters};
constexpr Parameter kNameParameter[] = {{"name", true}};
constexpr Signature kBenchmarkInfoSignature{"benchmark_info", kNameParameter};
constexpr Signature kGreyBenchmarkInfoSignature{"grey_benchmark_info", kNameParameter};

// A sequence of sequences of numbers (never a str, at either level).
std::vector<std::vector<double>> to_f64_rows(PyObject* object) {
  std::vector<std::vector<double>> rows;
  for (const PyRef& row : to_object_list(object)) rows.push_back(to_f64_list(row.get()));
  return rows;
}

std::string name_argument(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) {
  PyObject* given[1] = {nullptr};
  bind_arguments(signature, args, nargs, kwnames, given);
  return convert_argument("name", given[0], to_str);
}

}  // namespace

PyObject* hypervolume(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return translate_exceptions([&] {
    PyObject* given[2] = {nullptr, nullptr};
    bind_arguments(kHypervolumeSignature, args, nargs, kwnames, given);
    const auto front = convert_argument("front", given[0], to_f64_rows);
    const auto reference = convert_argument("reference", given[1], to_f64_list);
    return PyFloat_FromDouble(corvalinth::hypervolume(front, reference));
  });
}

PyObject* benchmark_info(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return translate_exceptions([&]() -> PyObject* {
    const std::string name = name_argument(kBenchmarkInfoSignature, args, nargs, kwnames);
    const BenchmarkInfo* info = find_benchmark(name);
    if (info == nullptr) raise(PyExc_KeyError, "unknown native benchmark: '" + name + "'");
    return Py_BuildValue("(dd)", info->bound, info->optimum);
  });
}

PyObject* grey_benchmark_info(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
  return translate_exceptions([&]() -> PyObject* {
    const std::string name = name_argument(kGreyBenchmarkInfoSignature, args, nargs, kwnames);
    const GreyBenchmarkInfo* info = find_grey_benchmark(name);
    if (info == nullptr) raise(PyExc_KeyError, "unknown native grey benchmark: '" + name + "'");
    return Py_BuildValue("(ddd)", info->center_bound, info->max_spread, info->optimum);
  });
}

}  // namespace corvalinth::py
