#include "src/flow_case/flow_case.hpp"

#include "host/base/errors.hpp"
#include "host/base/json_file.hpp"
#include "host/functions/pressure_profile.hpp"
#include "host/functions/solver.hpp"
#include "host/openvsp/reference_geometry.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>

namespace orvanta {
namespace fs = std::filesystem;

void prepare_flow_case(BaseSkill& skill) {
  skill.inputs["solver_name"] =
      resolve_solver_name(adv_value(skill.adv_params, "solver_name"), input_value(skill.inputs, "mach_number"),
                          "DAHisaFoam", adv_value(skill.adv_params, "transonic_mach_boundary"));
  copy_solver_files(skill.case_dir, skill.inputs.at("solver_name").get<std::string>());
  write_turbulence_model(skill.case_dir, adv_value(skill.adv_params, "turbulence_model"));
  const Json reference = read_vsp_reference_geometry(skill.case_path("aircraft.vsp3"), "Wing");
  for (const auto& [key, value] : reference.items()) skill.inputs[key] = value;
}

Json review_flow_case_files(const BaseSkill& skill) {
  std::vector<std::string> missing;
  for (const char* rel : {"constant/polyMesh", "aircraft.vsp3", "vsp_design_vars.json"})
    if (!fs::exists(skill.case_path(rel))) missing.push_back(skill.case_path(rel));
  if (missing.empty()) return skill.phase_result("review_prepare", "pass");
  Json r = skill.phase_result("review_prepare", "fail");
  r["note"] = "Required mesh or VSP files are missing: " + list_notation(missing);
  return r;
}

std::vector<std::string> discover_case_figures(const std::string& case_dir) {
  std::vector<std::string> figures;
  const fs::path plots = fs::path(case_dir) / "plots";
  if (!fs::is_directory(plots)) return figures;
  for (const auto& e : fs::directory_iterator(plots)) {
    if (!e.is_regular_file()) continue;
    const std::string name = e.path().filename().string();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) continue;  // a leading dot alone is no extension
    std::string ext = name.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".png" || ext == ".jpg" || ext == ".jpeg" || ext == ".svg" || ext == ".webp")
      figures.push_back((fs::path("plots") / name).string());
  }
  std::sort(figures.begin(), figures.end());
  return figures;
}

std::string case_named_path(const std::string& case_dir, const std::string& relative) {
  return (fs::path(case_dir).filename() / relative).string();
}

PlotScales compute_plot_scales(const BaseSkill& skill) {
  PlotScales s;
  const Json& fractions_value = adv_value(skill.adv_params, "pressure_profile_fractions");
  Json fractions = Json::array();
  if (!fractions_value.is_null()) {
    if (!fractions_value.is_array())
      throw TypeError("pressure_profile_fractions must be a list of spanwise fractions, got " +
                      fractions_value.dump() + ".");
    for (const auto& f : fractions_value) fractions.push_back(to_real(f));
  }
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

FinalReviewInputs check_metrics_and_figures(const BaseSkill& skill, const FinalReviewTexts& texts,
                                            const std::vector<std::string>& required_figures) {
  FinalReviewInputs in;
  auto fail = [&](const std::string& note) {
    Json r = skill.phase_result("review_analyze", "fail");
    r["note"] = note;
    return r;
  };
  const std::string metrics_path = skill.case_path(texts.metrics_file);
  if (!fs::is_regular_file(metrics_path)) {
    in.early = fail(texts.metrics_file + " was not found after the analyze phase.");
    return in;
  }
  in.metrics = read_json_object_file(metrics_path);

  const auto figures = discover_case_figures(skill.case_dir);
  for (const auto& f : figures) in.plots.push_back(case_named_path(skill.case_dir, f));
  if (figures.empty()) {
    in.early = fail(texts.no_figures_note);
    return in;
  }
  const std::set<std::string> found(figures.begin(), figures.end());
  std::set<std::string> missing;
  for (const auto& required : required_figures)
    if (!found.count(required)) missing.insert(required);
  if (!missing.empty()) {
    Json r = fail(texts.missing_prefix + list_notation(std::vector<std::string>(missing.begin(), missing.end())));
    r["plots"] = in.plots;
    in.early = r;
  }
  return in;
}

std::string joined_words(const std::vector<std::string>& words) {
  std::string out;
  for (const auto& w : words) out += (out.empty() ? "" : " ") + w;
  return out;
}

}  // namespace orvanta
