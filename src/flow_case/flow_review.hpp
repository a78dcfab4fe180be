#pragma once
// The final review both flow skills run: find the metrics and figures, grade the metrics
// against thresholds, and answer with a result whose frame (reference geometry first;
// thresholds, figures, viewer addresses and notes last) is the same for both.

#include "host/base/base_skill.hpp"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvanta {

// Figures directly inside <case>/plots (png, jpg, jpeg, svg, webp, any case), as paths
// relative to the case directory, sorted in code-point order.
std::vector<std::string> discover_case_figures(const std::string& case_dir);

// A case-relative path as the model sees it: prefixed with the case's own name.
std::string case_named_path(const std::string& case_dir, const std::string& relative);

// What the final review checks before grading, in order: the metrics file exists (then it
// is read), at least one figure exists, every required figure exists. `early` holds the
// fail result of the first check that fails.
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

// A metrics entry; a missing key is a KeyError naming it, as the analysis script would.
const Json& metric(const Json& metrics, const char* key);

// Grading: a fail-range finding always sets "fail" and is noted; a warning-range finding
// counts only while the status is still "pass".
struct Grade {
  std::string status = "pass";
  std::vector<std::string> notes;
  void fail(const std::string& note);
  void warn(const std::string& note);
};

// The smallest non-null drop among a mapping of residual drops, each read by `as_real`;
// nothing when every drop is null.
std::optional<double> weakest_drop(const Json& drops, const std::function<double(const Json&)>& as_real);

// Review thresholds read from the advanced parameters, each reported under its own name.
struct ReviewThreshold {
  const char* parameter;
  const char* reported;
};
struct ReviewThresholds {
  std::vector<double> values;     // in the order asked for
  Json reported = Json::object();  // reported name -> value
};
ReviewThresholds read_review_thresholds(const BaseSkill& skill, const std::vector<ReviewThreshold>& wanted);

// The result's head: the phase keys and the reference geometry the flow was scaled with.
Json start_flow_review(const BaseSkill& skill, const Grade& grade);

// The result's tail: thresholds, figures, viewer addresses, and the notes when there are any.
void finish_flow_review(BaseSkill& skill, Json& review, const Grade& grade, const ReviewThresholds& thresholds,
                        const Json& plots, const std::string& gallery_page);

}  // namespace orvanta
