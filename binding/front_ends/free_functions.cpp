#include "binding/front_ends/free_functions.hpp"

#include <optional>
#include <string>
#include <vector>

#include "binding/arguments/convert.hpp"
#include "binding/arguments/objective_rows.hpp"
#include "binding/arguments/signature.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/guarded_run.hpp"
#include "core/benchmarks.hpp"
#include "core/mopso/hypervolume.hpp"

namespace corvalinth::py {
namespace {

constexpr Parameter kHypervolumeParameters[] = {{"front", true}, {"reference", true}};
constexpr Signature kHypervolumeSignature{"hypervolume", kHypervolumeParameters};
constexpr Signature kContributionsSignature{"hypervolume_contributions", kHypervolumeParameters};
constexpr Parameter kNameParameter[] = {{"name", true}};
constexpr Signature kBenchmarkInfoSignature{"benchmark_info", kNameParameter};
constexpr Signature kGreyBenchmarkInfoSignature{"grey_benchmark_info", kNameParameter};

// The front and the reference of a hypervolume call, converted.
struct FrontArguments {
  ObjectiveRows front;
  std::vector<double> reference;
};

FrontArguments front_arguments(const Signature& signature, PyObject* const* args,
                               Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* given[2] = {nullptr, nullptr};
  bind_arguments(signature, args, nargs, kwnames, given);
  auto front = convert_argument("front", given[0], to_objective_rows);
  auto reference = convert_argument("reference", given[1], to_f64_list);
  return {std::move(front), std::move(reference)};
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
    const FrontArguments given = front_arguments(kHypervolumeSignature, args, nargs, kwnames);
    const double volume = interruptible_without_lock<HypervolumeCancelled>([&](StopToken* stop) {
      return corvalinth::hypervolume(given.front.views, given.reference, stop);
    });
    return PyFloat_FromDouble(volume);
  });
}

PyObject* hypervolume_contributions(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames) {
  return translate_exceptions([&] {
    const FrontArguments given = front_arguments(kContributionsSignature, args, nargs, kwnames);
    const std::vector<double> contributions =
        interruptible_without_lock<HypervolumeCancelled>([&](StopToken* stop) {
          return corvalinth::hypervolume_contributions(given.front.views, given.reference, stop);
        });
    return new_float_list(contributions).release();
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
