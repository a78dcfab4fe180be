#include "host/base/errors.hpp"
#include "host/base/json_file.hpp"
#include "host/functions/pressure_profile.hpp"
#include "src/aircraft_run_cfd_simulation/cfd_skill.hpp"
#include "src/flow_case/flow_case.hpp"

#include <algorithm>
#include <filesystem>
#include <set>

namespace orvanta {
namespace fs = std::filesystem;
namespace {

const std::vector<std::string> kFixedFigures = {
    "plots/general_residual_cfd.png",      "plots/general_function_cd.png",      "plots/general_function_cl.png",
    "plots/general_function_cm.png",       "plots/aircraft_flow_field_Cp_3d.png", "plots/aircraft_flow_field_U_3d.png"};

std::vector<std::string> required_figures(const Json& fractions) {
  std::vector<std::string> figures = kFixedFigures;
  for (const auto& suffix : pressure_profile_plot_suffixes(fractions))
    figures.push_back("plots/aircraft_pressure_profile_" + suffix + ".png");
  return figures;
}

const Json& metric(const Json& metrics, const char* key) {
  if (!metrics.contains(key)) throw KeyError(std::string("'") + key + "'");
  return metrics.at(key);
}

}  // namespace

void AircraftRunCFDSimulation::analyze() {
  const std::string plot_log = "log_plot_cfd.txt";
  const PlotScales s = compute_plot_scales(*this);
  const std::string tail = " >> " + plot_log + " 2>&1";
  const std::string plot = "python script_plot_results.py -mode ";

  _execute_commands(
      {
          plot + "general_plot_residual -case_dir . -log_file log_simulation.txt" + tail,
          plot + "general_plot_function -case_dir . -log_file log_simulation.txt" + tail,
          plot + "aircraft_plot_flow_field -case_dir . -flow_field Cp -var_lower " + real_text(s.cp_lower) +
              " -var_upper " + real_text(s.cp_upper) + " -var_ref " + s.reference_pressure + " -var_scaling " +
              real_text(s.cp_scaling) + tail,
          plot + "aircraft_plot_flow_field -case_dir . -flow_field U -var_lower " + real_text(s.u_lower) +
              " -var_upper " + real_text(s.u_upper) + " -var_ref " + s.u0 + " -var_scaling " +
              real_text(s.u_scaling) + " -field_label \"(|U|-U0)/U0\"" + tail,
          plot + "aircraft_plot_pressure_profile -case_dir . -time_step=-1 -mesh_file VTK/boundary.vtp "
                 "-reference_pressure " + s.reference_pressure + " -pressure_coefficient_scale " +
              s.pressure_coefficient_scale + " -var_lower " + real_text(s.cp_lower) + " -var_upper " +
              real_text(s.cp_upper) + " -spanwise_y " + joined_words(s.stations) + " -spanwise_fractions " +
              joined_words(s.fractions) + tail,
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
  const Json& metrics = in.metrics;
  const Json& plots = in.plots;

  const double force_pass = to_real(adv_value(adv_params, "force_std_pass"));
  const double force_fail = to_real(adv_value(adv_params, "force_std_warning"));
  const double drop_pass = to_real(adv_value(adv_params, "residual_drop_orders_pass"));
  const double drop_fail = to_real(adv_value(adv_params, "residual_drop_orders_warning"));
  Json thresholds = Json::object();
  thresholds["force_std_pass"] = force_pass;
  thresholds["force_std_warning"] = force_fail;
  thresholds["res_drop_min_ord"] = drop_pass;
  thresholds["res_drop_fail_ord"] = drop_fail;

  std::string status = "pass";
  std::vector<std::string> notes;
  if (truthy(metric(metrics, "has_nan_inf"))) {
    status = "fail";
    notes.push_back("NaN or Inf was detected in log_simulation.txt.");
  }
  const Json& cd_stddev = metric(metrics, "cd_stddev");
  if (!cd_stddev.is_null()) {
    const double v = to_real(cd_stddev);
    if (v > force_fail) {
      status = "fail";
      notes.push_back("CD oscillation exceeds the fail threshold (" + g_format(v) + " > " + g_format(force_fail) + ").");
    } else if (v > force_pass && status == "pass") {
      status = "warning";
      notes.push_back("CD oscillation exceeds the pass threshold (" + g_format(v) + " > " + g_format(force_pass) + ").");
    }
  }
  const Json& drops = metric(metrics, "residual_drop_orders");
  if (!drops.is_object()) throw TypeError("residual_drop_orders must be a mapping of residual names to drops.");
  std::optional<double> weakest;
  for (const auto& [name, drop] : drops.items())
    if (!drop.is_null()) weakest = weakest ? std::min(*weakest, to_real(drop)) : to_real(drop);
  if (weakest) {
    if (*weakest < drop_fail) {
      status = "fail";
      notes.push_back("The weakest residual dropped by fewer than " + g_format(drop_fail) + " orders.");
    } else if (*weakest < drop_pass && status == "pass") {
      status = "warning";
      notes.push_back("The weakest residual dropped by fewer than " + g_format(drop_pass) + " orders.");
    }
  }

  Json review = phase_result("review_analyze", status);
  for (const char* key : {"reference_area", "reference_length", "reference_span"})
    review[key] = inputs.contains(key) ? inputs.at(key) : Json();
  for (const char* key : {"has_nan_inf", "n_primal_runs", "final_cd", "final_cl", "final_cm", "cd_stddev",
                          "residual_drop_orders"})
    review[key] = metric(metrics, key);
  review["review_thresholds"] = thresholds;
  review["plots"] = plots;
  review["html_url"] = _review_html_gallery("cfd.html", 8001).second;
  review["trame_url"] = _review_trame_view(8002).second;
  if (!notes.empty()) review["note"] = joined_words(notes);
  return review;
}

}  // namespace orvanta
