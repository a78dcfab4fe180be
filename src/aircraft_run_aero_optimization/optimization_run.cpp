#include "src/aircraft_run_aero_optimization/optimization_skill.hpp"

#include <filesystem>

namespace orvanta {
namespace fs = std::filesystem;

void AircraftRunAeroOptimization::run() {
  if (fs::is_regular_file(case_path("run_finished.pid"))) fs::remove(case_path("run_finished.pid"));

  const std::string optimizer = ascii_upper(to_text(input_value(inputs, "optimizer")));
  const long long max_adj_iters = to_int(adv_value(adv_params, "max_adj_iters"));
  const long long pc_fill_level = to_int(adv_value(adv_params, "pc_fill_level"));
  const long long max_flow_iters = to_int(adv_value(adv_params, "max_flow_iters"));
  const double std_tol = to_real(adv_value(adv_params, "primal_func_std_tol"));
  const double slope_tol = to_real(adv_value(adv_params, "primal_func_slope_tol"));
  auto real_input = [this](const char* name) { return real_text(to_real(input_value(inputs, name))); };

  // The optimizer name and other texts reach the shell quoted unless they are plain words.
  const std::string driver =
      "mpirun -np " + std::to_string(to_int(input_value(inputs, "n_cpu_cores"))) +
      " python script_run_dafoam.py -task=run_driver " + shell_word("-optimizer=" + optimizer) +
      " -angle_of_attack=" + real_input("angle_of_attack") + " -mach_number=" + real_input("mach_number") + " " +
      shell_word("-solver_name=" + to_text(input_value(inputs, "solver_name"))) + " " +
      shell_word("-turbulence_model=" + to_text(adv_value(adv_params, "turbulence_model"))) +
      " -max_adj_iters=" + std::to_string(max_adj_iters) + " -pc_fill_level=" + std::to_string(pc_fill_level) +
      " -max_flow_iters=" + std::to_string(max_flow_iters) + " -reynolds_number=" + real_input("reynolds_number") +
      " -lift_constraint=" + real_input("lift_constraint") + " -le_radius_constraint=" +
      real_input("le_radius_constraint") + " -thickness_constraint=" + real_input("thickness_constraint") +
      " -volume_constraint=" + real_input("volume_constraint") +
      " -max_opt_iters=" + std::to_string(to_int(input_value(inputs, "max_opt_iters"))) +
      " -primal_func_std_tol=" + real_text(std_tol) + " -primal_func_slope_tol=" + real_text(slope_tol) +
      " -reference_area=" + real_input("reference_area") + " -reference_length=" + real_input("reference_length") +
      " > log_optimization.txt 2>&1";

  _execute_commands(
      {
          driver,
          "reconstructPar -withZero >> log_optimization.txt 2>&1",
          "rm -rf processor* >> log_optimization.txt 2>&1",
          "python script_workflow_helpers.py export-optimization-boundary-vtks --case-dir . >> log_optimization.txt 2>&1",
          "touch run_finished.pid",
      },
      {.phase = "run"});
}

Json AircraftRunAeroOptimization::review_run() {
  if (!fs::is_regular_file(case_path("run_finished.pid")))
    return _review_pending_run(
        "Aircraft aerodynamic optimization is still running in the background. Progress is being written to "
        "log_optimization.txt. Call review_run again later to poll its status.");
  if (!fs::is_regular_file(case_path("log_optimization.txt"))) {
    Json r = phase_result("review_run", "fail");
    r["note"] = "Aerodynamic optimization log file is missing: log_optimization.txt";
    return r;
  }
  std::vector<std::string> missing;
  for (const char* rel : {"OptView.hst", "VTK/boundary_baseline.vtp", "VTK/boundary_optimized.vtp"})
    if (!fs::exists(case_path(rel))) missing.push_back(case_path(rel));
  if (!missing.empty()) {
    Json r = phase_result("review_run", "fail");
    r["note"] = "Aerodynamic optimization did not produce the required files: " + list_notation(missing) +
                ". Check log_optimization.txt for details.";
    return r;
  }
  return phase_result("review_run", "pass");
}

}  // namespace orvanta
