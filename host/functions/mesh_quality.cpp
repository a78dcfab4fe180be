#include "host/functions/mesh_quality.hpp"

#include <string>
#include <vector>

namespace orvanta {
namespace {

// Every graded metric is an upper bound: a value up to "<metric>_pass" passes, up to
// "<metric>_warning" warns, above it fails. A null limit leaves that side ungraded.
// A metric that checkMesh did not report cannot vouch for the mesh, so it fails.
const std::vector<std::string>& graded_metrics() {
  static const std::vector<std::string> names = {"max_nonorthogonality", "severe_nonorthogonal_faces",
                                                 "max_skewness", "max_aspect_ratio", "n_cells"};
  return names;
}

int rank(const std::string& status) { return status == "fail" ? 2 : status == "warning" ? 1 : 0; }

}  // namespace

Json assess_mesh_quality(const Json& metrics, const Json& thresholds) {
  std::string status = "pass";
  Json checks = Json::object();
  std::vector<std::string> notes;

  for (const auto& metric : graded_metrics()) {
    const Json& pass_limit = adv_value(thresholds, metric + "_pass");
    const Json& warn_limit = adv_value(thresholds, metric + "_warning");
    const Json value = metrics.is_object() && metrics.contains(metric) ? metrics.at(metric) : Json();

    Json check = Json::object();
    check["value"] = value;
    check["pass_limit"] = pass_limit;
    check["warning_limit"] = warn_limit;

    std::string verdict = "pass";
    if (value.is_null()) {
      verdict = "fail";
      notes.push_back(metric + " was not reported by checkMesh.");
    } else {
      const double v = to_real(value);
      if (!warn_limit.is_null() && v > to_real(warn_limit)) {
        verdict = "fail";
        notes.push_back(metric + " = " + g_format(v) + " is above its warning limit " +
                        g_format(to_real(warn_limit)) + ".");
      } else if (!pass_limit.is_null() && v > to_real(pass_limit)) {
        verdict = "warning";
        notes.push_back(metric + " = " + g_format(v) + " is above its pass limit " +
                        g_format(to_real(pass_limit)) + ".");
      }
    }
    check["verdict"] = verdict;
    checks[metric] = check;
    if (rank(verdict) > rank(status)) status = verdict;
  }

  std::string note;
  for (const auto& n : notes) note += (note.empty() ? "" : " ") + n;
  if (note.empty()) note = "All mesh-quality metrics are within their pass limits.";
  return Json{{"status", status}, {"checks", checks}, {"note", note}};
}

}  // namespace orvanta
