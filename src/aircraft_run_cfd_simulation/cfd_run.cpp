#include "src/aircraft_run_cfd_simulation/cfd_skill.hpp"

#include "host/base/errors.hpp"

#include <filesystem>

namespace orvanta {
namespace fs = std::filesystem;

void AircraftRunCFDSimulation::run() {
  if (fs::is_regular_file(case_path("run_finished.pid"))) fs::remove(case_path("run_finished.pid"));

  const long long max_flow_iters = to_int(adv_value(adv_params, "max_flow_iters"));
  const double std_tol = to_real(adv_value(adv_params, "primal_func_std_tol"));
  const double slope_tol = to_real(adv_value(adv_params, "primal_func_slope_tol"));
  const Json initialize_from = adv_value(adv_params, "initialize_from");
  const bool warm_start = truthy(initialize_from);

  // Texts that reach the shell are quoted unless they are plain words.
  std::vector<std::string> commands;
  if (warm_start)
    commands.push_back("python script_workflow_helpers.py stage-warm-start --initialize-from " +
                       shell_word(to_text(initialize_from)) + " --case-dir . > log_warmstart.txt 2>&1 || exit $?");

  std::string solver = "mpirun -np " + std::to_string(to_int(input_value(inputs, "n_cpu_cores"))) +
                       " python script_run_dafoam.py -task=run_model" +
                       " -angle_of_attack=" + real_text(to_real(input_value(inputs, "angle_of_attack"))) +
                       " -fixed_lift_coeff=" + real_text(to_real(input_value(inputs, "fixed_lift_coeff"))) +
                       " -mach_number=" + real_text(to_real(input_value(inputs, "mach_number"))) +
                       " " + shell_word("-solver_name=" + to_text(input_value(inputs, "solver_name"))) +
                       " " + shell_word("-turbulence_model=" + to_text(adv_value(adv_params, "turbulence_model"))) +
                       " -max_flow_iters=" + std::to_string(max_flow_iters) +
                       " -reynolds_number=" + real_text(to_real(input_value(inputs, "reynolds_number"))) +
                       " -primal_func_std_tol=" + real_text(std_tol) +
                       " -primal_func_slope_tol=" + real_text(slope_tol) +
                       " -reference_area=" + real_text(to_real(input_value(inputs, "reference_area"))) +
                       " -reference_length=" + real_text(to_real(input_value(inputs, "reference_length")));
  if (warm_start) solver += " " + shell_word("-initialize_from=" + to_text(initialize_from));
  solver += " > log_simulation.txt 2>&1";

  commands.push_back(solver);
  commands.push_back("reconstructPar -withZero >> log_simulation.txt 2>&1");
  commands.push_back("rm -rf processor* >> log_simulation.txt 2>&1");
  commands.push_back("rm -rf VTK >> log_simulation.txt 2>&1 ");
  commands.push_back(
      "foamToVTK -latestTime -patches '(aircraft sym)' -fields '(U p T rho nut)' -one-boundary >> "
      "log_simulation.txt 2>&1");
  commands.push_back("mv VTK/*/boundary.vtp VTK/ >> log_simulation.txt 2>&1 || true");
  commands.push_back("touch run_finished.pid");
  _execute_commands(commands, {.phase = "run"});
}

Json AircraftRunCFDSimulation::review_run() {
  if (!fs::is_regular_file(case_path("run_finished.pid")))
    return _review_pending_run(
        "Aircraft CFD simulation is still running in the background. Progress is being written to "
        "log_simulation.txt. Call review_run again later to poll its status.");
  const std::string log = case_path("log_simulation.txt");
  if (!fs::is_regular_file(log)) {
    Json r = phase_result("review_run", "fail");
    r["note"] = "Aircraft CFD simulation log file is missing: log_simulation.txt";
    return r;
  }
  const Json summary = parse_simulation_log(log);
  for (const char* key : {"cd", "cl", "cm"}) {
    if (!summary.contains(key)) throw KeyError(std::string("'") + key + "'");
    if (!truthy(summary.at(key))) {
      Json r = phase_result("review_run", "fail");
      r["note"] =
          "Aircraft CFD simulation finished without producing CD/CL/CM history. The solver likely failed before "
          "completing a primal run. Check log_simulation.txt for details.";
      return r;
    }
  }
  return phase_result("review_run", "pass");
}

}  // namespace orvanta
