#pragma once
// How the CLI shows phase results, case lists and run progress to a person.

#include "host/base/values.hpp"

#include <ostream>
#include <string>

namespace orvanta::app {

// One block per phase result: its status, note, key numbers and viewer addresses.
void print_results(std::ostream& out, const Json& call_result);

void print_case_table(std::ostream& out, const Json& cases);

// A one-line progress bar for a running case: an optimization's major iteration against
// max_opt_iters, else the solver's iteration against its maximum when the log tells, else
// the command chain's position.
std::string progress_line(const std::string& case_dir, const Json& running_result);

// Fraction done (0..1) and a label, from the same sources.
std::pair<double, std::string> run_progress(const std::string& case_dir, const Json& running_result);

}  // namespace orvanta::app
