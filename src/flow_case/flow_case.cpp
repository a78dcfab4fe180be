#include "src/flow_case/flow_case.hpp"

#include "host/base/errors.hpp"
#include "host/functions/solver.hpp"
#include "host/openvsp/reference_geometry.hpp"

#include <filesystem>

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

std::string joined_words(const std::vector<std::string>& words) {
  std::string out;
  for (const auto& w : words) out += (out.empty() ? "" : " ") + w;
  return out;
}

}  // namespace orvanta
