#include "host/base/errors.hpp"
#include "src/aircraft_run_aero_optimization/optimization_skill.hpp"
#include "src/flow_case/flow_review.hpp"
#include "src/flow_case/plot_commands.hpp"

namespace orvanta {
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
  for (const auto& figure : pressure_profile_figures(fractions)) figures.push_back(figure);
  return figures;
}

// Reported in this order; the grading steps read the values by the same positions.
const std::vector<ReviewThreshold> kThresholds = {
    {"objective_reduction_pct_pass", "obj_drop_min_pct"},
    {"objective_reduction_pct_warning", "obj_drop_fail_pct"},
    {"final_feasibility_pass", "feas_max"},
    {"final_feasibility_warning", "feas_fail_max"},
    {"flow_residual_drop_orders_pass", "flow_res_drop_min_ord"},
    {"flow_residual_drop_orders_warning", "flow_res_drop_fail_ord"},
    {"adjoint_residual_drop_orders_pass", "adj_res_drop_min_ord"},
    {"adjoint_residual_drop_orders_warning", "adj_res_drop_fail_ord"},
};

// The optimization's metrics come from its own writer: anything but a number is a fault.
double compared(const Json& value, const char* key) {
  if (!value.is_number()) throw TypeError(std::string(key) + " must be a number or null, got " + value.dump() + ".");
  return value.get<double>();
}

void grade_objective_and_feasibility(const Json& metrics, const std::vector<double>& t, Grade& grade) {
  const double obj_pass = t[0], obj_fail = t[1], feas_pass = t[2], feas_fail = t[3];
  const Json& reduction = metric(metrics, "objective_reduction_pct");
  if (reduction.is_null() || compared(reduction, "objective_reduction_pct") < obj_fail)
    grade.fail("The optimization reduced the objective by less than " + g_format(obj_fail) + "%.");
  else if (compared(reduction, "objective_reduction_pct") < obj_pass)
    grade.warn("The optimization reduced the objective by less than " + g_format(obj_pass) + "%.");

  const Json& feasibility = metric(metrics, "final_feasibility");
  if (feasibility.is_null()) return;
  const double f = compared(feasibility, "final_feasibility");
  if (f > feas_fail) grade.fail("Final feasibility is larger than " + g_format(feas_fail) + ".");
  else if (f > feas_pass) grade.warn("Final feasibility is larger than " + g_format(feas_pass) + ".");
}

void grade_residual_drops(const Json& metrics, const std::vector<double>& t, Grade& grade) {
  const double flow_pass = t[4], flow_fail = t[5], adj_pass = t[6], adj_fail = t[7];
  const Json& flow_drops = metric(metrics, "flow_residual_drop_orders");
  if (!flow_drops.is_object()) throw TypeError("flow_residual_drop_orders must be an object of residual drops.");
  const auto weakest =
      weakest_drop(flow_drops, [](const Json& d) { return compared(d, "flow_residual_drop_orders"); });
  if (weakest) {
    if (*weakest < flow_fail)
      grade.fail("The weakest flow residual dropped by fewer than " + g_format(flow_fail) + " orders.");
    else if (*weakest < flow_pass)
      grade.warn("The weakest flow residual dropped by fewer than " + g_format(flow_pass) + " orders.");
  }

  const Json& adjoint = metric(metrics, "adjoint_residual_drop_orders");
  if (adjoint.is_null()) return;
  const double a = compared(adjoint, "adjoint_residual_drop_orders");
  if (a < adj_fail) grade.fail("The adjoint residual dropped by fewer than " + g_format(adj_fail) + " orders.");
  else if (a < adj_pass) grade.warn("The adjoint residual dropped by fewer than " + g_format(adj_pass) + " orders.");
}

Grade grade_optimization(const Json& metrics, const std::vector<double>& thresholds) {
  Grade grade;
  if (truthy(metric(metrics, "has_nan_inf"))) grade.fail("NaN or Inf was detected in log_optimization.txt.");
  grade_objective_and_feasibility(metrics, thresholds, grade);
  grade_residual_drops(metrics, thresholds, grade);
  return grade;
}

// The optimization's own part of the result, between the reference geometry and the tail.
void report_optimization(const Json& metrics, Json& review) {
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
}

}  // namespace

void AircraftRunAeroOptimization::analyze() {
  const std::string optimizer_log_file = optimizer_log(ascii_upper(to_text(input_value(inputs, "optimizer"))));
  const std::string plot_log = "log_opt_plots.txt";
  const PlotScales s = compute_plot_scales(*this);
  const std::string tail = plot_log_tail(plot_log);
  const auto fields =
      flow_field_plot_commands(s, " -mesh_file VTK/boundary_baseline.vtp VTK/boundary_optimized.vtp", tail);

  _execute_commands(
      {
          residual_plot_command("log_optimization.txt", tail),
          function_plot_command("log_optimization.txt", tail),
          "python script_plot_results.py -mode general_plot_optimization_history -case_dir . -hist_file "
          "OptView.hst -optimizer_log " + optimizer_log_file + tail,
          fields[0],
          fields[1],
          pressure_profile_plot_command(s, "VTK/boundary_optimized.vtp", tail),
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

  const ReviewThresholds thresholds = read_review_thresholds(*this, kThresholds);
  const Grade grade = grade_optimization(in.metrics, thresholds.values);
  Json review = start_flow_review(*this, grade);
  report_optimization(in.metrics, review);
  finish_flow_review(*this, review, grade, thresholds, in.plots, "optimization.html");
  return review;
}

}  // namespace orvanta
