#pragma once
#include "host/base/values.hpp"

#include <string>

namespace orvanta {

// The flow solver for a Mach number: the requested one below the transonic boundary, the
// given transonic solver at or above it.
std::string resolve_solver_name(const Json& requested, const Json& mach_number, const std::string& transonic_solver,
                                const Json& transonic_boundary);

// Copies the per-solver system/ and constant/ files into the case.
void copy_solver_files(const std::string& case_dir, const std::string& solver_name);

// Sets the RANS turbulence model of the case (constant/turbulenceProperties).
void write_turbulence_model(const std::string& case_dir, const Json& turbulence_model);

}  // namespace orvanta
