#pragma once
// The aircraft module's public surface: three skills, the agent and the design-variable
// functions, with the host framework names they build on.

#include "host/base/base_agent.hpp"
#include "host/base/base_skill.hpp"
#include "host/functions/pressure_profile.hpp"
#include "host/functions/solver.hpp"
#include "host/openvsp/raise_errors.hpp"
#include "host/openvsp/reference_geometry.hpp"
#include "src/aircraft_generate_cfd_mesh/export_custom_stl.hpp"
#include "src/aircraft_generate_cfd_mesh/mesh_skill.hpp"
#include "src/aircraft_run_aero_optimization/optimization_skill.hpp"
#include "src/aircraft_run_cfd_simulation/cfd_skill.hpp"
#include "src/orvanta_aircraft/aircraft_agent.hpp"
#include "src/orvanta_aircraft/custom_aircraft.hpp"
#include "src/orvanta_aircraft/design_vars.hpp"
