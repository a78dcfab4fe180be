#include "host/base/errors.hpp"
#include "host/base/json_file.hpp"
#include "host/functions/pressure_profile.hpp"
#include "src/aircraft_run_aero_optimization/optimization_skill.hpp"
#include "src/flow_case/flow_case.hpp"

#include <filesystem>
#include <optional>
#include <set>

namespace orvanta {
namespace fs = std::filesystem;
namespace {

const std::vector<std::string> kFixedFigures = {
    "plots/general_residual_cfd.png",
    "plots/general_residual_adjoint.png",
    "plots/general_function_cd.png",
    "plots/general_function_cl.png",
    "plots/general_opt_hst_cd.png",
    "plots/general_opt_hst_cl.png",
    "plots/general_opt_hst_patchv.png",
    "plots/general_opt_hst_feasibility.png",
    "plots/general_opt_hst_optimality.png",
    "plots/aircraft_flow_field_Cp_3d_baseline.png",
    "plots/aircraft_flow_field_Cp_3d_optimized.png",
    "plots/aircraft_flow_field_U_3d_baseline.png",
    "plots/aircraft_flow_field_U_3d_optimized.png",
};

std::vector<std::string> gallery_figures(const Json& fractions) {
  std::vector<std::string> figures = kFixedFigures;
  for (const auto& suffix : pressure_profile_plot_suffixes(fractions))
    figures.push_back("plots/aircraft_pressure_profile_" + suffix + ".png");
  return figures;
}

const Json& metric(const Json& metrics, const char* key) {
  if (!metrics.contains(key)) throw KeyError(std::string("'") + key + "'");
  return metrics.at(key);
}

// Grading: a fail-range finding always sets "fail" and is noted; a warning-range finding
// counts only while the status is still "pass".
struct Grade {
  std::string status = "pass";
  std::vector<std::string> notes;
  void fail(const std::string& note) {
    status = "fail";
    notes.push_back(note);
  }
  void warn(const std::string& note) {
    if (status != "pass") return;
    status = "warning";
    notes.push_back(note);
  }
};

double compared(const Json& value, const char* key) {
  if (!value.is_number()) throw TypeError(std::string(key) + " must be a number or null, got " + value.dump() + ".");
  return value.get<double>();
}

}  // namespace

void AircraftRunAeroOptimization::analyze() {
  const std::string optimizer_log_file = optimizer_log(ascii_upper(to_text(input_value(inputs, "optimizer"))));
  const std::string plot_log = "log_opt_plots.txt";
  const PlotScales s = compute_plot_scales(*this);
  const std::string tail = " >> " + plot_log + " 2>&1";
  const std::string plot = "python script_plot_results.py -mode ";
  const std::string surfaces = " -mesh_file VTK/boundary_baseline.vtp VTK/boundary_optimized.vtp";

  _execute_commands(
      {
          plot + "general_plot_residual -case_dir . -log_file log_optimization.txt" + tail,
          plot + "general_plot_function -case_dir . -log_file log_optimization.txt" + tail,
          plot + "general_plot_optimization_history -case_dir . -hist_file OptView.hst -optimizer_log " +
              optimizer_log_file + tail,
          plot + "aircraft_plot_flow_field -case_dir . -flow_field Cp -var_lower " + real_text(s.cp_lower) +
              " -var_upper " + real_text(s.cp_upper) + " -var_ref " + s.reference_pressure + " -var_scaling " +
              real_text(s.cp_scaling) + surfaces + tail,
          plot + "aircraft_plot_flow_field -case_dir . -flow_field U -var_lower " + real_text(s.u_lower) +
              " -var_upper " + real_text(s.u_upper) + " -var_ref " + s.u0 + " -var_scaling " +
              real_text(s.u_scaling) + " -field_label \"(|U|-U0)/U0\"" + surfaces + tail,
          plot + "aircraft_plot_pressure_profile -case_dir . -time_step=-1 -mesh_file VTK/boundary_optimized.vtp "
                 "-reference_pressure " + s.reference_pressure + " -pressure_coefficient_scale " +
              s.pressure_coefficient_scale + " -var_lower " + real_text(s.cp_lower) + " -var_upper " +
              real_text(s.cp_upper) + " -spanwise_y " + joined_words(s.stations) + " -spanwise_fractions " +
              joined_words(s.fractions) + tail,
          "python script_workflow_helpers.py write-optimization-analysis --log-file " + optimizer_log_file +
              " --hist-file OptView.hst --scaling-report-file reports/script_run_dafoam/driver_scaling_report.html "
              "--vsp-design-vars vsp_design_vars.json --output-file optimization_analysis_metrics.json",
      },
      {.run_mode = "Direct", .detached = false, .phase = "analyze"});

  _launch_html_gallery("optimization.html", gallery_figures(adv_value(adv_params, "pressure_profile_fractions")),
                       {.port = 8001, .plot_log_filename = plot_log, .server_log_filename = "log_html.txt"});
  _launch_trame_view({"VTK/boundary_baseline.vtp", "VTK/boundary_optimized.vtp"},
                     {.port = 8002, .server_log_filename = "log_trame.txt"});
}

Json AircraftRunAeroOptimization::review_analyze() {
  const FinalReviewInputs in = check_metrics_and_figures(
      *this,
      {"optimization_analysis_metrics.json",
       "The analyze phase did not produce any optimization convergence or flow-field figures. Check "
       "optimization_analysis_metrics.json for details.",
       "The analyze phase is missing required optimization plots: "},
      gallery_figures(adv_value(adv_params, "pressure_profile_fractions")));
  if (in.early) return *in.early;
  const Json& metrics = in.metrics;
  const Json& plots = in.plots;

  struct Threshold { const char* parameter; const char* reported; double value; };
  std::vector<Threshold> t = {
      {"objective_reduction_pct_pass", "obj_drop_min_pct", 0},
      {"objective_reduction_pct_warning", "obj_drop_fail_pct", 0},
      {"final_feasibility_pass", "feas_max", 0},
      {"final_feasibility_warning", "feas_fail_max", 0},
      {"flow_residual_drop_orders_pass", "flow_res_drop_min_ord", 0},
      {"flow_residual_drop_orders_warning", "flow_res_drop_fail_ord", 0},
      {"adjoint_residual_drop_orders_pass", "adj_res_drop_min_ord", 0},
      {"adjoint_residual_drop_orders_warning", "adj_res_drop_fail_ord", 0},
  };
  Json thresholds = Json::object();
  for (auto& th : t) {
    th.value = to_real(adv_value(adv_params, th.parameter));
    thresholds[th.reported] = th.value;
  }
  const double obj_pass = t[0].value, obj_fail = t[1].value, feas_pass = t[2].value, feas_fail = t[3].value;
  const double flow_pass = t[4].value, flow_fail = t[5].value, adj_pass = t[6].value, adj_fail = t[7].value;

  Grade grade;
  if (truthy(metric(metrics, "has_nan_inf"))) grade.fail("NaN or Inf was detected in log_optimization.txt.");

  const Json& reduction = metric(metrics, "objective_reduction_pct");
  if (reduction.is_null() || compared(reduction, "objective_reduction_pct") < obj_fail)
    grade.fail("The optimization reduced the objective by less than " + g_format(obj_fail) + "%.");
  else if (compared(reduction, "objective_reduction_pct") < obj_pass)
    grade.warn("The optimization reduced the objective by less than " + g_format(obj_pass) + "%.");

  const Json& feasibility = metric(metrics, "final_feasibility");
  if (!feasibility.is_null()) {
    const double f = compared(feasibility, "final_feasibility");
    if (f > feas_fail) grade.fail("Final feasibility is larger than " + g_format(feas_fail) + ".");
    else if (f > feas_pass) grade.warn("Final feasibility is larger than " + g_format(feas_pass) + ".");
  }

  const Json& flow_drops = metric(metrics, "flow_residual_drop_orders");
  if (!flow_drops.is_object()) throw TypeError("flow_residual_drop_orders must be an object of residual drops.");
  std::optional<double> weakest;
  for (const auto& [name, drop] : flow_drops.items())
    if (!drop.is_null()) {
      const double d = compared(drop, "flow_residual_drop_orders");
      weakest = weakest ? std::min(*weakest, d) : d;
    }
  if (weakest) {
    if (*weakest < flow_fail) grade.fail("The weakest flow residual dropped by fewer than " + g_format(flow_fail) + " orders.");
    else if (*weakest < flow_pass) grade.warn("The weakest flow residual dropped by fewer than " + g_format(flow_pass) + " orders.");
  }

  const Json& adjoint = metric(metrics, "adjoint_residual_drop_orders");
  if (!adjoint.is_null()) {
    const double a = compared(adjoint, "adjoint_residual_drop_orders");
    if (a < adj_fail) grade.fail("The adjoint residual dropped by fewer than " + g_format(adj_fail) + " orders.");
    else if (a < adj_pass) grade.warn("The adjoint residual dropped by fewer than " + g_format(adj_pass) + " orders.");
  }

  Json review = phase_result("review_analyze", grade.status);
  for (const char* key : {"reference_area", "reference_length", "reference_span"})
    review[key] = inputs.contains(key) ? inputs.at(key) : Json();
  review["optimizer"] = metric(metrics, "optimizer");
  review["exit_status"] = metric(metrics, "exit_status");
  review["has_nan_inf"] = metric(metrics, "has_nan_inf");
  const Json& opt_iters = metric(metrics, "opt_iters");
  if (!opt_iters.is_array() && !opt_iters.is_object() && !opt_iters.is_string())
    throw TypeError("opt_iters must be a sequence, got " + opt_iters.dump() + ".");
  review["major_iterations"] = opt_iters.is_string() ? opt_iters.get<std::string>().size() : opt_iters.size();
  for (const char* key : {"objective_initial", "objective_final", "objective_reduction_pct", "final_feasibility",
                          "final_optimality", "last_primal_converged", "last_tol_val", "last_tol_thr",
                          "flow_residual_drop_orders", "adjoint_residual_drop_orders"})
    review[key] = metric(metrics, key);
  review["final_objective_values"] = metric(metrics, "final_obj");
  review["final_constraint_values"] = metric(metrics, "final_con");
  review["baseline_design_variables"] = metric(metrics, "baseline_design_variables");
  review["optimized_design_variables"] = metric(metrics, "optimized_design_variables");
  review["review_thresholds"] = thresholds;
  review["plots"] = plots;
  review["html_url"] = _review_html_gallery("optimization.html", 8001).second;
  review["trame_url"] = _review_trame_view(8002).second;
  if (!grade.notes.empty()) review["note"] = joined_words(grade.notes);
  return review;
}

}  // namespace orvanta
