#include "host/base/errors.hpp"
#include "src/aircraft_run_cfd_simulation/cfd_skill.hpp"
#include "src/flow_case/plot_commands.hpp"
#include "src/flow_case/flow_case.hpp"
#include "src/flow_case/flow_review.hpp"

namespace orvanta {
namespace {

const std::vector<std::string> kFixedFigures = {
    "plots/general_residual_cfd.png",      "plots/general_function_cd.png",      "plots/general_function_cl.png",
    "plots/general_function_cm.png",       "plots/aircraft_flow_field_Cp_3d.png", "plots/aircraft_flow_field_U_3d.png"};

std::vector<std::string> required_figures(const Json& fractions) {
  std::vector<std::string> figures = kFixedFigures;
  for (const auto& figure : pressure_profile_figures(fractions)) figures.push_back(figure);
  return figures;
}

// Reported in this order; grade_convergence reads the values by the same positions.
const std::vector<ReviewThreshold> kThresholds = {
    {"force_std_pass", "force_std_pass"},
    {"force_std_warning", "force_std_warning"},
    {"residual_drop_orders_pass", "res_drop_min_ord"},
    {"residual_drop_orders_warning", "res_drop_fail_ord"},
};

Grade grade_convergence(const Json& metrics, const std::vector<double>& t) {
  const double force_pass = t[0], force_fail = t[1], drop_pass = t[2], drop_fail = t[3];
  Grade grade;
  if (truthy(metric(metrics, "has_nan_inf"))) grade.fail("NaN or Inf was detected in log_simulation.txt.");
  const Json& cd_stddev = metric(metrics, "cd_stddev");
  if (!cd_stddev.is_null()) {
    const double v = to_real(cd_stddev);
    if (v > force_fail)
      grade.fail("CD oscillation exceeds the fail threshold (" + g_format(v) + " > " + g_format(force_fail) + ").");
    else if (v > force_pass)
      grade.warn("CD oscillation exceeds the pass threshold (" + g_format(v) + " > " + g_format(force_pass) + ").");
  }
  const Json& drops = metric(metrics, "residual_drop_orders");
  if (!drops.is_object()) throw TypeError("residual_drop_orders must be a mapping of residual names to drops.");
  const auto weakest = weakest_drop(drops, [](const Json& d) { return to_real(d); });
  if (!weakest) return grade;
  if (*weakest < drop_fail)
    grade.fail("The weakest residual dropped by fewer than " + g_format(drop_fail) + " orders.");
  else if (*weakest < drop_pass)
    grade.warn("The weakest residual dropped by fewer than " + g_format(drop_pass) + " orders.");
  return grade;
}

}  // namespace

void AircraftRunCFDSimulation::analyze() {
  const std::string plot_log = "log_plot_cfd.txt";
  const PlotScales s = compute_plot_scales(*this);
  const std::string tail = plot_log_tail(plot_log);
  const auto fields = flow_field_plot_commands(s, "", tail);

  _execute_commands(
      {
          residual_plot_command("log_simulation.txt", tail),
          function_plot_command("log_simulation.txt", tail),
          fields[0],
          fields[1],
          pressure_profile_plot_command(s, "VTK/boundary.vtp", tail),
          "python script_workflow_helpers.py write-cfd-analysis --log-file log_simulation.txt --output-file "
          "cfd_analysis_metrics.json",
      },
      {.run_mode = "Direct", .detached = false, .phase = "analyze"});

  _launch_html_gallery("cfd.html", required_figures(adv_value(adv_params, "pressure_profile_fractions")),
                       {.port = 8001, .plot_log_filename = plot_log, .server_log_filename = "log_html.txt"});
  _launch_trame_view({"VTK/boundary.vtp"}, {.port = 8002, .server_log_filename = "log_trame.txt"});
}

Json AircraftRunCFDSimulation::review_analyze() {
  const FinalReviewInputs in = check_metrics_and_figures(
      *this,
      {"cfd_analysis_metrics.json",
       "The analyze phase did not produce any CFD convergence or aircraft surface figures. Check "
       "cfd_analysis_metrics.json for details.",
       "The analyze phase is missing required CFD plots: "},
      required_figures(adv_value(adv_params, "pressure_profile_fractions")));
  if (in.early) return *in.early;

  const ReviewThresholds thresholds = read_review_thresholds(*this, kThresholds);
  const Grade grade = grade_convergence(in.metrics, thresholds.values);
  Json review = start_flow_review(*this, grade);
  for (const char* key : {"has_nan_inf", "n_primal_runs", "final_cd", "final_cl", "final_cm", "cd_stddev",
                          "residual_drop_orders"})
    review[key] = metric(in.metrics, key);
  finish_flow_review(*this, review, grade, thresholds, in.plots, "cfd.html");
  return review;
}

}  // namespace orvanta
