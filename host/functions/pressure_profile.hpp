#pragma once
#include "host/base/values.hpp"

#include <string>
#include <vector>

namespace orvanta {

// Freestream reference values at a Mach number: "reference_pressure", "pressure_coefficient_scale"
// (dynamic pressure) and "u0" (freestream speed). Mach <= 0 is a ValueError.
Json compute_pressure_profile_reference_values(const Json& mach_number);

// Each real as a command-line word (real-number text, quoted for the shell if it had to be).
std::vector<std::string> quoted_values(const Json& values);

// One file-name suffix per spanwise station: "y" + the fraction's real-number text with "."
// as "p" and "-" as "m" (0.25 -> "y0p25"). Stable and distinct for distinct fractions.
std::vector<std::string> pressure_profile_plot_suffixes(const Json& fractions);

}  // namespace orvanta
