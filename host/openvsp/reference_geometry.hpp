#pragma once
#include "host/base/values.hpp"

#include <string>

namespace orvanta {

// Reference geometry of the wing component `wing_name` of a model, measured on the engine's
// planform: "reference_area" (both halves), "reference_length" (mean aerodynamic chord),
// "reference_span" (full span, both halves), and further keys that help (the MAC's
// leading-edge position, ...). Works on its own model instance, not the process-wide one.
Json read_vsp_reference_geometry(const std::string& vsp3_path, const std::string& wing_name = "Wing");

}  // namespace orvanta
