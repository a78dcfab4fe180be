#pragma once
#include "host/base/values.hpp"

#include <string>

namespace orvanta {

// Reads a flow-solver log (OpenFOAM solver output as the case-local driver writes it) into
// histories: "cd", "cl", "cm" (force coefficients printed after each iteration, in log
// order, over all primal runs), "residuals" (initial residual of each solved field, first
// solve per iteration), "n_primal_runs", "n_iterations" and "has_nan_inf".
// A missing log is a FileNotFoundError.
Json parse_simulation_log(const std::string& log_path);

// The same, from text already in memory.
Json parse_simulation_log_text(const std::string& text);

}  // namespace orvanta
