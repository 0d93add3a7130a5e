#include "core/records.hpp"

namespace corvalinth {

std::string_view stop_reason_name(StopReason reason) {
  switch (reason) {
    case StopReason::MaxIterations: return "max_iterations";
    case StopReason::Target: return "target";
    case StopReason::MaxEvaluations: return "max_evaluations";
    case StopReason::Stagnation: return "stagnation";
    case StopReason::MaxTime: return "max_time";
    case StopReason::Callback: return "callback";
    case StopReason::Cancelled: return "cancelled";
    case StopReason::Interrupted:
      return "interrupted";
    case StopReason::Error:
      return "error";
  }
  return "max_iterations";
}

bool stop_reason_is_success(StopReason reason) {
  return reason != StopReason::Cancelled && reason != StopReason::Interrupted &&
         reason != StopReason::Error;
}

std::string_view stop_reason_message(StopReason reason) {
  switch (reason) {
    case StopReason::MaxIterations:
      return "Maximum number of iterations reached.";
    case StopReason::Target:
      return "The target value was reached.";
    case StopReason::MaxEvaluations:
      return "Maximum number of function evaluations reached.";
    case StopReason::Stagnation:
      return "The best value stopped improving (stagnation).";
    case StopReason::MaxTime:
      return "The time budget was used up.";
    case StopReason::Callback:
      return "The callback asked the run to stop.";
    case StopReason::Cancelled:
      return "The run was cancelled.";
    case StopReason::Interrupted:
      return "The run was interrupted; the result holds what it found until then.";
    case StopReason::Error:
      return "The objective or another user function raised an exception; the result holds what "
             "the run found until then.";
  }
  return "Maximum number of iterations reached.";
}

}  // namespace corvalinth
