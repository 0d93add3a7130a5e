// Nested Python lists built from the core's flat traces, anew on every read of a result attribute.
#pragma once

#include <span>
#include <vector>

#include "core/mopso/mopso.hpp"
#include "binding/runtime/py_ref.hpp"
#include "binding/runtime/python.hpp"
#include "core/records.hpp"

namespace corvalinth::py {

// history[iteration][particle][dimension] as lists of lists of lists of float.
PyRef new_history_list(const History& history);

// front_history[iteration][member][objective].
PyRef new_front_history_list(const FrontHistory& history);

// A list with one list of float per row.
PyRef new_rows_list(const std::vector<std::vector<double>>& rows);

}  // namespace corvalinth::py
