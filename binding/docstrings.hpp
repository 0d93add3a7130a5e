// Docstrings of the module's functions, classes and attributes.
#pragma once

namespace corvalinth::py::docs {

extern const char* const minimize;

extern const char* const pso_result;
extern const char* const pso_result_best_position;
extern const char* const pso_result_convergence;
extern const char* const pso_result_history;
extern const char* const pso_result_evaluations;
extern const char* const pso_result_stop_reason;
extern const char* const pso_result_best_value;

}  // namespace corvalinth::py::docs
