#pragma once
// Sane ranges of the inputs that decide how much work a case starts. The case manager
// refuses values outside them before anything is staged, and the tool schemas publish them,
// so a hopeless or machine-breaking run is never launched.

#include "host/base/values.hpp"

#include <optional>
#include <string>

namespace orvanta::app {

// Most MPI ranks a case may ask for, and where that number comes from (for messages).
struct RankLimit {
  long long max_ranks = 2;
  std::string source;
};

// ORVANTA_MAX_RANKS when set, else "scheduler": {"max_ranks": N} of <work_dir>/orvanta.json,
// else the CPUs this process may run on, but never below 2 (the mesh skill's default and
// least rank count). ValueError when either setting is not an integer of at least 1.
RankLimit rank_limit(const std::string& work_dir);

// Range of a numeric input. Open ends are unset; `above_zero` excludes 0 itself.
struct InputRange {
  bool integer = false;
  std::optional<double> minimum, maximum;
  bool above_zero = false;
  std::string note;  // why the range is what it is, when that is not obvious
};

// The range of a skill input by name and metadata type ("int", "float"): every real input
// must be finite, Mach and Reynolds numbers above 0, surface levels 1 to 10, rank counts 1
// to the rank limit. nullopt for inputs that are not numbers.
std::optional<InputRange> input_range(const std::string& name, const std::string& type, const RankLimit& ranks);

// ValueError "Input `name` must be ..., got ..." when `value`, converted as the skills
// convert it (text spelling a number is a number), is outside `range`.
void check_input_value(const std::string& name, const Json& value, const InputRange& range);

// The range as JSON Schema keywords: minimum, maximum, exclusiveMinimum.
void add_range_to_schema(Json& schema, const InputRange& range);

// A value as a message shows it: JSON text, non-finite reals as nan/inf.
std::string shown_value(const Json& value);

}  // namespace orvanta::app
