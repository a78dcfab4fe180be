#include "src/flow_case/flow_review.hpp"

#include "host/base/errors.hpp"
#include "host/base/json_file.hpp"
#include "src/flow_case/flow_case.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>

namespace orvanta {
namespace fs = std::filesystem;
namespace {

bool is_figure_extension(std::string ext) {
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext == ".png" || ext == ".jpg" || ext == ".jpeg" || ext == ".svg" || ext == ".webp";
}

Json review_fail(const BaseSkill& skill, const std::string& note) {
  Json r = skill.phase_result("review_analyze", "fail");
  r["note"] = note;
  return r;
}

std::vector<std::string> missing_figures(const std::vector<std::string>& figures,
                                         const std::vector<std::string>& required_figures) {
  const std::set<std::string> found(figures.begin(), figures.end());
  std::set<std::string> missing;
  for (const auto& required : required_figures)
    if (!found.count(required)) missing.insert(required);
  return {missing.begin(), missing.end()};
}

}  // namespace

std::vector<std::string> discover_case_figures(const std::string& case_dir) {
  std::vector<std::string> figures;
  const fs::path plots = fs::path(case_dir) / "plots";
  if (!fs::is_directory(plots)) return figures;
  for (const auto& e : fs::directory_iterator(plots)) {
    if (!e.is_regular_file()) continue;
    const std::string name = e.path().filename().string();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) continue;  // a leading dot alone is no extension
    if (is_figure_extension(name.substr(dot))) figures.push_back((fs::path("plots") / name).string());
  }
  std::sort(figures.begin(), figures.end());
  return figures;
}

std::string case_named_path(const std::string& case_dir, const std::string& relative) {
  return (fs::path(case_dir).filename() / relative).string();
}

FinalReviewInputs check_metrics_and_figures(const BaseSkill& skill, const FinalReviewTexts& texts,
                                            const std::vector<std::string>& required_figures) {
  FinalReviewInputs in;
  const std::string metrics_path = skill.case_path(texts.metrics_file);
  if (!fs::is_regular_file(metrics_path)) {
    in.early = review_fail(skill, texts.metrics_file + " was not found after the analyze phase.");
    return in;
  }
  in.metrics = read_json_object_file(metrics_path);

  const auto figures = discover_case_figures(skill.case_dir);
  for (const auto& f : figures) in.plots.push_back(case_named_path(skill.case_dir, f));
  if (figures.empty()) {
    in.early = review_fail(skill, texts.no_figures_note);
    return in;
  }
  const auto missing = missing_figures(figures, required_figures);
  if (!missing.empty()) {
    Json r = review_fail(skill, texts.missing_prefix + list_notation(missing));
    r["plots"] = in.plots;
    in.early = r;
  }
  return in;
}

const Json& metric(const Json& metrics, const char* key) {
  if (!metrics.contains(key)) throw KeyError(std::string("'") + key + "'");
  return metrics.at(key);
}

void Grade::fail(const std::string& note) {
  status = "fail";
  notes.push_back(note);
}

void Grade::warn(const std::string& note) {
  if (status != "pass") return;
  status = "warning";
  notes.push_back(note);
}

std::optional<double> weakest_drop(const Json& drops, const std::function<double(const Json&)>& as_real) {
  std::optional<double> weakest;
  for (const auto& [name, drop] : drops.items()) {
    if (drop.is_null()) continue;
    const double d = as_real(drop);
    weakest = weakest ? std::min(*weakest, d) : d;
  }
  return weakest;
}

ReviewThresholds read_review_thresholds(const BaseSkill& skill, const std::vector<ReviewThreshold>& wanted) {
  ReviewThresholds t;
  for (const auto& w : wanted) {
    const double value = to_real(adv_value(skill.adv_params, w.parameter));
    t.values.push_back(value);
    t.reported[w.reported] = value;
  }
  return t;
}

Json start_flow_review(const BaseSkill& skill, const Grade& grade) {
  Json review = skill.phase_result("review_analyze", grade.status);
  for (const char* key : {"reference_area", "reference_length", "reference_span"})
    review[key] = skill.inputs.contains(key) ? skill.inputs.at(key) : Json();
  return review;
}

void finish_flow_review(BaseSkill& skill, Json& review, const Grade& grade, const ReviewThresholds& thresholds,
                        const Json& plots, const std::string& gallery_page) {
  review["review_thresholds"] = thresholds.reported;
  review["plots"] = plots;
  review["html_url"] = skill._review_html_gallery(gallery_page, 8001).second;
  review["trame_url"] = skill._review_trame_view(8002).second;
  if (!grade.notes.empty()) review["note"] = joined_words(grade.notes);
}

}  // namespace orvanta
