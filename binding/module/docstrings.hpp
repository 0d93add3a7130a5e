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


extern const char* const optimizer;
extern const char* const optimizer_ask;
extern const char* const optimizer_tell;
extern const char* const optimizer_result;
extern const char* const optimizer_reduce;
extern const char* const optimizer_done;
extern const char* const optimizer_stop_reason;
extern const char* const optimizer_iteration;
extern const char* const driven;
extern const char* const driven_ask;
extern const char* const driven_evaluations;
extern const char* const optimizer_best_value;
extern const char* const optimizer_best_position;
extern const char* const optimizer_events;
extern const char* const optimizer_out;
extern const char* const optimizer_best_params;
extern const char* const multi_optimizer;
extern const char* const multi_optimizer_ask;
extern const char* const multi_optimizer_tell;
extern const char* const multi_optimizer_result;

extern const char* const minimize_multi;
extern const char* const pareto_front_hypervolume;
extern const char* const pareto_front;
extern const char* const minimize_grey;
extern const char* const grey_result;
extern const char* const hypervolume;
extern const char* const benchmark_info;
extern const char* const grey_benchmark_info;
extern const char* const pareto_front_positions;
extern const char* const pareto_front_swarm_history;
extern const char* const pareto_front_front_history;
extern const char* const pareto_front_objectives;
extern const char* const pareto_front_stop_reason;
extern const char* const grey_result_best_position;
extern const char* const grey_result_best_spreads;
extern const char* const grey_result_best_value;
extern const char* const grey_result_convergence;
extern const char* const grey_result_evaluations;
extern const char* const grey_result_stop_reason;
extern const char* const grey_result_best_centers;
extern const char* const hypervolume_contributions;

extern const char* const pso_result_iterations;
extern const char* const pso_result_violation;
extern const char* const pso_result_feasible;
extern const char* const pso_result_x;
extern const char* const pso_result_recorded_evaluations;
extern const char* const pso_result_evaluations_array;
extern const char* const pso_result_fun;
extern const char* const pso_result_nit;
extern const char* const pso_result_nfev;
extern const char* const pso_result_success;
extern const char* const pso_result_message;
extern const char* const pso_result_history_array;
extern const char* const pareto_front_iterations;
extern const char* const pareto_front_evaluations;
extern const char* const pareto_front_violations;
extern const char* const pareto_front_feasible;
extern const char* const pareto_front_positions_array;
extern const char* const pareto_front_objectives_array;
extern const char* const pareto_front_swarm_history_array;
extern const char* const pareto_front_recorded_evaluations;
extern const char* const pso_result_best_params;
extern const char* const pareto_front_params;
extern const char* const result_parameters;
extern const char* const result_trials;
extern const char* const result_to_pandas;
extern const char* const pareto_front_evaluations_array;
extern const char* const grey_result_iterations;
extern const char* const result_convergence_array;
extern const char* const result_to_dict;
extern const char* const result_reduce;
extern const char* const rebuild_result;

}  // namespace corvalinth::py::docs
