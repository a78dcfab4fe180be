#pragma once
// How the CLI shows phase results, case lists and run progress to a person.

#include "host/base/values.hpp"

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <utility>

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

// What a progress line belongs to: the case's state, the phase and, while a run goes on, its
// command. A change of it is worth a line of its own in a log.
std::string progress_stage(const Json& checked);

// Where progress goes and how time passes there; injectable so tests need neither a
// terminal nor to wait.
struct ProgressSink {
  std::ostream* out = nullptr;
  bool terminal = false;
  int columns = 0;  // terminal width; 0 when unknown
  std::function<std::chrono::steady_clock::time_point()> clock = std::chrono::steady_clock::now;
};

// stderr, as the process has it: whether it is a terminal, and how wide.
ProgressSink stderr_progress_sink();

// On a terminal, one line rewritten in place (cut to the width, or it would wrap and leave
// copies behind). Elsewhere, e.g. a CI log, whole lines: one when the stage changes, else at
// most one per interval.
class ProgressDisplay {
 public:
  static constexpr std::chrono::seconds kLogInterval{10};

  explicit ProgressDisplay(ProgressSink sink) : sink_(std::move(sink)) {}
  void update(const std::string& stage, const std::string& line);
  // Clears the rewritten line so what follows starts on a clean one.
  void finish();

 private:
  ProgressSink sink_;
  bool shown_ = false;
  std::string last_stage_;
  std::chrono::steady_clock::time_point last_print_{};
};

}  // namespace orvanta::app
