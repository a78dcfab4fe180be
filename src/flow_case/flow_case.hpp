#pragma once
// What the CFD and optimization skills share: preparing a flow case on the mesh skill's
// mesh, checking its files, and finding the figures an analysis produced.

#include "host/base/base_skill.hpp"

#include <optional>
#include <string>
#include <vector>

namespace orvanta {

// Resolves the solver, stages its files and turbulence model, and adds the wing's
// reference geometry to the bound inputs.
void prepare_flow_case(BaseSkill& skill);

// "pass", or "fail" naming the missing mesh, model or design-variable files.
Json review_flow_case_files(const BaseSkill& skill);

// Figures directly inside <case>/plots (png, jpg, jpeg, svg, webp, any case), as paths
// relative to the case directory, sorted in code-point order.
std::vector<std::string> discover_case_figures(const std::string& case_dir);

// A case-relative path as the model sees it: prefixed with the case's own name.
std::string case_named_path(const std::string& case_dir, const std::string& relative);

// The freestream values the flow-field plots need, in the order they are read.
struct PlotScales {
  std::vector<std::string> fractions, stations;  // quoted texts
  std::string reference_pressure, pressure_coefficient_scale, u0;
  double cp_lower = 0, cp_upper = 0, u_lower = 0, u_upper = 0;
  double cp_scaling = 0, u_scaling = 0;
};
PlotScales compute_plot_scales(const BaseSkill& skill);

std::string joined_words(const std::vector<std::string>& words);

// What the final review of a flow skill checks before grading, in order: the metrics file
// exists (then it is read), at least one figure exists, every required figure exists.
// `early` holds the fail result of the first check that fails.
struct FinalReviewTexts {
  std::string metrics_file;     // e.g. "cfd_analysis_metrics.json"
  std::string no_figures_note;  // note when plots/ holds no figure
  std::string missing_prefix;   // note start before the missing figures in list notation
};
struct FinalReviewInputs {
  Json metrics;
  Json plots = Json::array();  // figures found, named with the case's name
  std::optional<Json> early;
};
FinalReviewInputs check_metrics_and_figures(const BaseSkill& skill, const FinalReviewTexts& texts,
                                            const std::vector<std::string>& required_figures);

}  // namespace orvanta
