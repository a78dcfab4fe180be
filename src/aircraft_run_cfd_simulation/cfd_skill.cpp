#include "src/aircraft_run_cfd_simulation/cfd_skill.hpp"

#include "src/flow_case/flow_case.hpp"

namespace orvanta {
Json AircraftRunCFDSimulation::static_input_info() {
  Json info = Json::object();
  info["angle_of_attack"] = input_entry("float", 2.0, "Freestream angle of attack in degrees.");
  info["fixed_lift_coeff"] = input_entry("float", -1.0,
      "Automatically vary the angle of attack to compute drag at the prescribed lift coefficient. Set it to -1.0 "
      "to disable.");
  info["mach_number"] = input_entry("float", 0.3, "Freestream Mach number passed to script_run_dafoam.py.");
  info["reynolds_number"] = input_entry("float", 1000000.0, "Freestream Reynolds number.");
  info["n_cpu_cores"] = input_entry("int", 1, "Number of MPI ranks to use for the CFD run.");
  return info;
}

AircraftRunCFDSimulation::AircraftRunCFDSimulation()
    : BaseSkill("run-cfd-simulation",
                "Run CFD simulation for an existing aircraft mesh. Geometry changes such as span or chord changes "
                "must be requested in generate-cfd-mesh first.",
                static_input_info(), "aircraft_assets", std::string("generate-cfd-mesh")) {}

void AircraftRunCFDSimulation::prepare() { prepare_flow_case(*this); }

Json AircraftRunCFDSimulation::review_prepare() { return review_flow_case_files(*this); }

}  // namespace orvanta
