#include "src/aircraft_run_aero_optimization/optimization_skill.hpp"

#include "src/flow_case/flow_case.hpp"

namespace orvanta {
Json AircraftRunAeroOptimization::static_input_info() {
  Json info = Json::object();
  info["angle_of_attack"] = input_entry("float", 2.0, "Initial freestream angle of attack in degrees.");
  info["mach_number"] = input_entry("float", "$prereq.mach_number",
      "Freestream Mach number. If not provided, inherit it from the pre_req skill: generate-cfd-mesh.");
  info["reynolds_number"] = input_entry("float", 1000000.0, "Freestream Reynolds number.");
  info["optimizer"] = input_entry("str", "SLSQP",
      "Optimization algorithm to use. Defaults to SLSQP; supported values are SLSQP, IPOPT, and SNOPT.");
  info["lift_constraint"] = input_entry("float", 0.5, "Target lift coefficient equality constraint.");
  info["le_radius_constraint"] = input_entry("float", 0.7,
      "Lower bound on normalized leading-edge radius. Set to a negative value to disable it.");
  info["thickness_constraint"] = input_entry("float", 0.5,
      "Lower bound on normalized aircraft wing section thickness. Set to a negative value to disable it.");
  info["volume_constraint"] = input_entry("float", 1.0,
      "Lower bound on normalized aircraft wing volume. Set to a negative value to disable it.");
  info["max_opt_iters"] = input_entry("int", 100, "Maximum number of optimization iterations.");
  info["n_cpu_cores"] = input_entry("int", 1, "Number of MPI ranks to use for the optimization run.");
  return info;
}

AircraftRunAeroOptimization::AircraftRunAeroOptimization()
    : BaseSkill("run-aero-optimization",
                "Run aerodynamic shape optimization from an existing aircraft mesh. Baseline geometry changes such "
                "as span or chord changes must be requested in generate-cfd-mesh first.",
                static_input_info(), "aircraft_assets", std::string("generate-cfd-mesh")) {}

void AircraftRunAeroOptimization::prepare() { prepare_flow_case(*this); }

Json AircraftRunAeroOptimization::review_prepare() { return review_flow_case_files(*this); }

std::string AircraftRunAeroOptimization::optimizer_log(const std::string& optimizer_upper) {
  if (optimizer_upper == "IPOPT") return "opt_IPOPT.txt";
  if (optimizer_upper == "SNOPT") return "opt_SNOPT_summary.txt";
  return "opt_SLSQP.txt";
}

}  // namespace orvanta
