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
  }
  return "max_iterations";
}

}  // namespace corvalinth
