#pragma once
#include "host/base/values.hpp"

namespace orvanta {

// Grades checkMesh metrics against pass and warning limits from the advanced parameters.
// Returns {"status", "checks", "note"}.
Json assess_mesh_quality(const Json& metrics, const Json& thresholds);

}  // namespace orvanta
