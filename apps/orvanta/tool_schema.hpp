#pragma once
#include "apps/orvanta/input_limits.hpp"
#include "host/base/values.hpp"

namespace orvanta::app {

// JSON Schema of one input from its metadata record {"type", "default", "description"}.
Json input_schema(const Json& record);

// The tool input schema of a skill: its inputs with the ranges the case manager enforces
// (minimum, maximum, exclusiveMinimum), plus case_name, the prerequisite case (when the
// skill has one) and advanced_parameters.
Json skill_tool_schema(const Json& input_info, bool has_prerequisite, const RankLimit& ranks);
// The same with the rank limit of the working directory (KESTRAN_WORK_DIR or the current one).
Json skill_tool_schema(const Json& input_info, bool has_prerequisite);

}  // namespace orvanta::app
