#include "apps/orvanta/case_scan.hpp"

#include "apps/orvanta/case_state.hpp"
#include "host/base/errors.hpp"

#include <algorithm>
#include <filesystem>

namespace orvanta::app {
namespace fs = std::filesystem;
namespace {

std::string type_word(const Json& v) {
  switch (v.type()) {
    case Json::value_t::null: return "null";
    case Json::value_t::object: return "an object";
    case Json::value_t::array: return "a list";
    case Json::value_t::string: return "a text";
    case Json::value_t::boolean: return "a truth value";
    default: return "a number";
  }
}

std::string wrong_type(const std::string& key, const Json& v, const std::string& expected) {
  return "`" + key + "` in .orvanta/case.json is " + type_word(v) + ", not " + expected + ".";
}

// The reason an entry is no usable case, empty when it is one.
std::string entry_problem(const fs::path& dir, Json& record) {
  try {
    validate_case_name(dir.filename().string());
    record = load_case_record(dir.string());
    load_case_inputs(dir.string());
  } catch (const OrvantaError& e) {
    return e.what();
  }
  return case_record_problem(record);
}

}  // namespace

void validate_case_name(const std::string& name) {
  bool ok = !name.empty() && name.size() <= 128 && name[0] != '.' && name[0] != '-';
  for (unsigned char c : name)
    ok = ok && (std::isalnum(c) || c == '.' || c == '_' || c == '-');
  if (!ok)
    throw ValueError("Case name `" + name +
                     "` must be a single plain name of letters, digits, '.', '_' and '-', not starting with '.' or "
                     "'-', and not a path.");
}

std::string case_record_problem(const Json& r) {
  if (!r.contains("skill") || !r.at("skill").is_string() || r.at("skill").get<std::string>().empty())
    return r.contains("skill") ? wrong_type("skill", r.at("skill"), "a skill name") : "`skill` is missing in .orvanta/case.json.";
  if (r.contains("state") && !r.at("state").is_string()) return wrong_type("state", r.at("state"), "a text");
  if (r.contains("created_at") && !r.at("created_at").is_number())
    return wrong_type("created_at", r.at("created_at"), "a number");
  if (r.contains("prereq_case") && !r.at("prereq_case").is_string() && !r.at("prereq_case").is_null())
    return wrong_type("prereq_case", r.at("prereq_case"), "a text or null");
  if (r.contains("adv_overrides") && !r.at("adv_overrides").is_object() && !r.at("adv_overrides").is_null())
    return wrong_type("adv_overrides", r.at("adv_overrides"), "an object or null");
  if (r.contains("verdict") && !r.at("verdict").is_object()) return wrong_type("verdict", r.at("verdict"), "an object");
  return "";
}

CaseScan scan_cases(const std::string& work_dir) {
  CaseScan scan;
  if (!fs::is_directory(work_dir)) return scan;
  for (const auto& e : fs::directory_iterator(work_dir)) {
    std::error_code ec;
    if (!e.is_directory(ec) || !fs::is_regular_file(e.path() / ".orvanta" / "case.json", ec)) continue;
    Json record;
    if (std::string problem = entry_problem(e.path(), record); !problem.empty()) {
      scan.skipped.push_back({e.path().filename().string(), problem});
      continue;
    }
    CaseEntry c{e.path().filename().string(), e.path().string(), record.at("skill").get<std::string>(),
                record.value("state", ""), record.value("created_at", 0.0), std::nullopt, Json()};
    if (record.contains("prereq_case") && record.at("prereq_case").is_string())
      c.prereq_case = record.at("prereq_case").get<std::string>();
    if (record.contains("verdict")) c.verdict_status = record.at("verdict").value("status", Json());
    scan.cases.push_back(std::move(c));
  }
  std::sort(scan.cases.begin(), scan.cases.end(), [](const CaseEntry& a, const CaseEntry& b) {
    return a.created_at != b.created_at ? a.created_at < b.created_at : a.name < b.name;
  });
  std::sort(scan.skipped.begin(), scan.skipped.end(),
            [](const SkippedEntry& a, const SkippedEntry& b) { return a.name < b.name; });
  return scan;
}

}  // namespace orvanta::app
