#include "binding/multi_adapter.hpp"

#include <limits>
#include <string>

#include "binding/adapters.hpp"
#include "binding/convert.hpp"
#include "binding/errors.hpp"

namespace corvalinth::py {
namespace {

std::string count(std::size_t n, const char* noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

}  // namespace

void PythonMultiObjective::evaluate(std::span<const double> point, std::vector<double>& values) {
  guarded([&] { return new_float_list(point); }, values);
}

void PythonMultiObjective::evaluate(std::span<const std::int64_t> point,
                                    std::vector<double>& values) {
  guarded([&] { return new_int_list(point); }, values);
}

template <typename MakeArgument>
void PythonMultiObjective::guarded(MakeArgument make_argument, std::vector<double>& values) {
  const bool answered = slot_.run(
      [&] {
        call_python(make_argument().get(), values);
        return true;
      },
      false);
  if (!answered) placeholder(values);
}

void PythonMultiObjective::call_python(PyObject* argument, std::vector<double>& values) {
  const PyRef answer = call_one(objective_, argument);
  if (!answer) throw PythonErrorSet{};
  std::vector<double> read = to_f64_list(answer.get());
  if (answered_ && read.size() != n_objectives_) {
    raise(PyExc_ValueError, "objective returned " + count(read.size(), "value") +
                                ", but its first answer had " + count(n_objectives_, "value") +
                                "; it must return the same number of objectives every time");
  }
  n_objectives_ = read.size();
  answered_ = true;
  values = std::move(read);
}

void PythonMultiObjective::placeholder(std::vector<double>& values) const {
  values.assign(n_objectives_, std::numeric_limits<double>::infinity());
}

}  // namespace corvalinth::py
