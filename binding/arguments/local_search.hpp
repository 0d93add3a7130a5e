// The parameters of the final local phase of `minimize` and `Optimizer` (core/local_search.hpp),
// keyword-only lines of a parameter table, and their reading.
#pragma once

#include <optional>
#include <string>

#include "binding/arguments/parameter_table.hpp"
#include "binding/runtime/errors.hpp"
#include "binding/runtime/python.hpp"
#include "core/failure.hpp"
#include "core/records.hpp"

#define CORVALINTH_LOCAL_SEARCH_PARAMETERS(P) \
  P(local_search, keyword_only(none_or(to_str))) \
  P(local_search_share, keyword_only(with_default(to_f64, 0.2))) \
  /* the end of the local search parameters */

namespace corvalinth::py {

// The method `name` names (None: no local phase). Fails with ValueError for an unknown name, and
// for a share outside (0, 1] whether or not a method is named.
inline LocalSearch parse_local_search(const std::optional<std::string>& name, double share) {
  if (!(share > 0.0 && share <= 1.0)) {
    raise(PyExc_ValueError, "local_search_share must be in (0, 1], got " + format_number(share));
  }
  if (!name) return LocalSearch::None;
  if (*name == "nelder-mead") return LocalSearch::NelderMead;
  raise(PyExc_ValueError, "unknown local_search: '" + *name + "' (expected 'nelder-mead')");
}

}  // namespace corvalinth::py
