#pragma once
// The value range of each parameter the engine knows, as OpenVSP declares it: values read
// from files and values set through the API are clamped into it, and integer parameters
// (counts, flags, choices) are rounded.

#include <limits>
#include <string_view>

namespace orvanta::vsp {

struct ParmLimits {
  double lower = -std::numeric_limits<double>::max();
  double upper = std::numeric_limits<double>::max();
  bool integer = false;

  double clamp(double value) const;
};

// Limits of parameter `name` in raw group `group` (the group element's name in the file).
// Parameters the engine does not know are unlimited reals.
ParmLimits parm_limits(std::string_view group, std::string_view name);

}  // namespace orvanta::vsp
