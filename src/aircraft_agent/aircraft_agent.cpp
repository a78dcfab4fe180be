#include "src/aircraft_agent/aircraft_agent.hpp"

#include "src/aircraft_generate_cfd_mesh/mesh_skill.hpp"
#include "src/aircraft_run_aero_optimization/optimization_skill.hpp"
#include "src/aircraft_run_cfd_simulation/cfd_skill.hpp"

namespace orvanta {

AircraftAgent::AircraftAgent() : BaseAgent("aircraft") {
  register_skill(std::make_unique<AircraftGenerateCFDMesh>());
  register_skill(std::make_unique<AircraftRunCFDSimulation>());
  register_skill(std::make_unique<AircraftRunAeroOptimization>());
}

}  // namespace orvanta
