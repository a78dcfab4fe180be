#include "src/flow_case/plot_commands.hpp"

#include "host/base/errors.hpp"
#include "host/functions/pressure_profile.hpp"
#include "src/flow_case/flow_case.hpp"

namespace orvanta {
namespace {

const std::string kPlot = "python script_plot_results.py -mode ";

Json spanwise_fractions(const Json& fractions_value) {
  Json fractions = Json::array();
  if (fractions_value.is_null()) return fractions;
  if (!fractions_value.is_array())
    throw TypeError("pressure_profile_fractions must be a list of spanwise fractions, got " + fractions_value.dump() +
                    ".");
  for (const auto& f : fractions_value) fractions.push_back(to_real(f));
  return fractions;
}

}  // namespace

PlotScales compute_plot_scales(const BaseSkill& skill) {
  PlotScales s;
  const Json fractions = spanwise_fractions(adv_value(skill.adv_params, "pressure_profile_fractions"));
  const double semi_span = 0.5 * to_real(input_value(skill.inputs, "reference_span"));
  Json stations = Json::array();
  for (const auto& f : fractions) stations.push_back(f.get<double>() * semi_span);

  const Json reference = compute_pressure_profile_reference_values(input_value(skill.inputs, "mach_number"));
  const Json& p_ref = reference.at("reference_pressure");
  const Json& q = reference.at("pressure_coefficient_scale");
  const Json& u0 = reference.at("u0");
  s.reference_pressure = to_text(p_ref);
  s.pressure_coefficient_scale = to_text(q);
  s.u0 = to_text(u0);
  s.cp_lower = to_real(adv_value(skill.adv_params, "cp_plot_lower_bound"));
  s.cp_upper = to_real(adv_value(skill.adv_params, "cp_plot_upper_bound"));
  s.u_lower = to_real(adv_value(skill.adv_params, "u_plot_lower_bound"));
  s.u_upper = to_real(adv_value(skill.adv_params, "u_plot_upper_bound"));
  if (to_real(q) == 0.0 || to_real(u0) == 0.0) throw ValueError("float division by zero");
  s.cp_scaling = 1.0 / to_real(q);
  s.u_scaling = 1.0 / to_real(u0);
  s.fractions = quoted_values(fractions);
  s.stations = quoted_values(stations);
  return s;
}

std::string plot_log_tail(const std::string& plot_log) { return " >> " + plot_log + " 2>&1"; }

std::string residual_plot_command(const std::string& log_file, const std::string& tail) {
  return kPlot + "general_plot_residual -case_dir . -log_file " + log_file + tail;
}

std::string function_plot_command(const std::string& log_file, const std::string& tail) {
  return kPlot + "general_plot_function -case_dir . -log_file " + log_file + tail;
}

std::vector<std::string> flow_field_plot_commands(const PlotScales& s, const std::string& surfaces,
                                                  const std::string& tail) {
  const std::string field = kPlot + "aircraft_plot_flow_field -case_dir . -flow_field ";
  return {
      field + "Cp -var_lower " + real_text(s.cp_lower) + " -var_upper " + real_text(s.cp_upper) + " -var_ref " +
          s.reference_pressure + " -var_scaling " + real_text(s.cp_scaling) + surfaces + tail,
      field + "U -var_lower " + real_text(s.u_lower) + " -var_upper " + real_text(s.u_upper) + " -var_ref " + s.u0 +
          " -var_scaling " + real_text(s.u_scaling) + " -field_label \"(|U|-U0)/U0\"" + surfaces + tail,
  };
}

std::string pressure_profile_plot_command(const PlotScales& s, const std::string& mesh_file,
                                          const std::string& tail) {
  return kPlot + "aircraft_plot_pressure_profile -case_dir . -time_step=-1 -mesh_file " + mesh_file +
         " -reference_pressure " + s.reference_pressure + " -pressure_coefficient_scale " +
         s.pressure_coefficient_scale + " -var_lower " + real_text(s.cp_lower) + " -var_upper " +
         real_text(s.cp_upper) + " -spanwise_y " + joined_words(s.stations) + " -spanwise_fractions " +
         joined_words(s.fractions) + tail;
}

std::vector<std::string> pressure_profile_figures(const Json& fractions) {
  std::vector<std::string> figures;
  for (const auto& suffix : pressure_profile_plot_suffixes(fractions))
    figures.push_back("plots/aircraft_pressure_profile_" + suffix + ".png");
  return figures;
}

}  // namespace orvanta
