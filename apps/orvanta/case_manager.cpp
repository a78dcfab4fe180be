#include "apps/orvanta/case_manager.hpp"

#include "apps/orvanta/case_state.hpp"
#include "apps/orvanta/case_staging.hpp"
#include "apps/orvanta/start_checks.hpp"
#include "host/base/errors.hpp"
#include "host/runner/command_runner.hpp"
#include "src/aircraft_agent/aircraft_agent.hpp"

#include <chrono>
#include <filesystem>

namespace orvanta::app {
namespace fs = std::filesystem;
namespace {

double now_seconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

void report(const ProgressFn& progress, double step, double total, const std::string& message) {
  if (progress) progress(step, total, message);
}

// Inputs the skill does not publish are refused, so a misspelt name never goes unnoticed.
void check_input_names(BaseSkill& skill, const Json& inputs) {
  if (!inputs.is_object()) throw ValueError("Inputs must be a JSON object of name: value.");
  if (inputs.empty()) return;
  Json published = skill.input_info();
  bool design_vars_loaded = false;
  for (const auto& [name, value] : inputs.items()) {
    if (published.contains(name)) continue;
    if (!design_vars_loaded) {
      skill.inputs = inputs;
      published = skill.get_input_info();
      design_vars_loaded = true;
      if (published.contains(name)) continue;
    }
    throw ValueError("Unknown input `" + name + "` for skill " + skill.name() + ".");
  }
}

// The record of a case, refused with a clear message when its fields have the wrong types.
Json usable_record(const std::string& case_name, const std::string& dir) {
  Json record = load_case_record(dir);
  if (!record.empty())
    if (const std::string problem = case_record_problem(record); !problem.empty())
      throw ValueError("The record of case `" + case_name + "` cannot be used: " + problem);
  return record;
}

}  // namespace

CaseManager::CaseManager(std::string work_dir, ServicesFactory services)
    : work_dir_(normalized_case_dir(work_dir)), services_(std::move(services)), agent_(std::make_unique<AircraftAgent>()) {}

std::string CaseManager::case_dir(const std::string& case_name) const {
  validate_case_name(case_name);
  return (fs::path(work_dir_) / case_name).string();
}

BaseSkill& CaseManager::skill_named(const std::string& name) const {
  BaseSkill* skill = agent_->find_skill(name);
  if (!skill) throw ValueError("Unknown skill `" + name + "`.");
  return *skill;
}

std::string CaseManager::new_case_name(const std::string& skill) const {
  const std::string prefix = skill == "generate-cfd-mesh" ? "mesh" : skill == "run-cfd-simulation" ? "cfd" : "opt";
  const auto t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d_%H%M%S", std::localtime(&t));
  std::string name = prefix + "_" + stamp;
  for (int n = 2; fs::exists(fs::path(work_dir_) / name); ++n) name = prefix + "_" + stamp + "_" + std::to_string(n);
  return name;
}

std::string CaseManager::find_prerequisite(const BaseSkill& skill, const std::string& mesh_case) const {
  const std::string prereq = *skill.prereq_skill();
  if (!mesh_case.empty()) {
    const std::string dir = case_dir(mesh_case);
    const Json record = usable_record(mesh_case, dir);
    if (!fs::is_directory(dir) || record.value("skill", "") != prereq)
      throw ValueError("Case `" + mesh_case + "` is not a " + prereq + " case in " + work_dir_ + ".");
    // A running or failed mesh run already has blockMesh's background mesh in
    // constant/polyMesh: only a run whose review passed has the aircraft's mesh.
    const std::string state = record.value("state", "");
    if (state != "run_passed" && state != "analyzed")
      throw ValueError("Case `" + mesh_case + "` has no finished mesh (state " + (state.empty() ? "unknown" : state) +
                       "): call check_case on it until its run passed, or run " + prereq + " again.");
    if (!fs::is_directory(fs::path(dir) / "constant" / "polyMesh"))
      throw ValueError("Case `" + mesh_case + "` has no mesh yet (constant/polyMesh is missing).");
    return dir;
  }
  std::string best;
  for (const CaseEntry& c : scan_cases(work_dir_).cases)  // oldest first
    if (c.skill == prereq && (c.state == "run_passed" || c.state == "analyzed")) best = c.dir;
  if (best.empty())
    throw ValueError(skill.name() + " needs a " + prereq + " case whose run passed, and " + work_dir_ +
                     " has none. Run " + prereq + " first, or name a mesh case with mesh_case.");
  return best;
}

Json CaseManager::sibling_inputs(const std::string& prereq_dir) const {
  std::string newest;
  for (const CaseEntry& c : scan_cases(work_dir_).cases)  // oldest first
    if (c.prereq_case == prereq_dir) newest = c.dir;
  return newest.empty() ? Json::object() : load_case_inputs(newest);
}

void CaseManager::setup_skill(BaseSkill& skill, const std::string& dir, const Json& record) {
  skill.case_dir = dir;
  skill.inputs = load_case_inputs(dir);
  skill.adv_params = load_adv_params(skill.name(), record.value("adv_overrides", Json::object()));
  save_case_adv_params(dir, skill.adv_params);
  skill.set_host_services(services_());
}

Json CaseManager::start(const StartRequest& request, const ProgressFn& progress) {
  BaseSkill& skill = skill_named(request.skill);
  const std::string name = request.case_name.empty() ? new_case_name(skill.name()) : request.case_name;
  const std::string dir = case_dir(name);
  if (fs::exists(dir)) throw ValueError("Case `" + name + "` already exists in " + work_dir_ + "; choose another case_name.");

  std::optional<std::string> prereq;
  if (skill.prereq_skill()) prereq = find_prerequisite(skill, request.mesh_case);
  check_input_names(skill, request.inputs);
  const Json inputs =
      bind_inputs(skill, Json::object(), request.inputs, prereq, prereq ? sibling_inputs(*prereq) : Json::object());
  // Bad overrides and hopeless values fail before anything is created.
  check_start(skill, {inputs, load_adv_params(skill.name(), request.adv_params), work_dir_, prereq, rank_limit()});

  report(progress, 0, 4, "Staging case " + name);
  stage_case(dir, skill.asset_package(), prereq);
  Json record = {{"skill", skill.name()}, {"created_at", now_seconds()}, {"prereq_case", prereq ? Json(*prereq) : Json()},
                 {"adv_overrides", request.adv_params}, {"state", "created"}};
  save_case_record(dir, record);
  save_case_inputs(dir, inputs);
  setup_skill(skill, dir, record);

  Json results = Json::array();
  auto record_state = [&](const std::string& state) {
    record["state"] = state;
    save_case_record(dir, record);
    save_case_inputs(dir, skill.inputs);
  };
  try {
    report(progress, 1, 4, "prepare");
    skill.prepare();
    record_state("prepared");
    results.push_back(skill.review_prepare());
    if (results.back().value("status", "") != "pass") {
      record_state("prepare_failed");
    } else {
      report(progress, 2, 4, "run");
      skill.run();
      record_state("running");
      report(progress, 3, 4, "review_run");
      results.push_back(skill.review_run());
      const std::string status = results.back().value("status", "");
      if (status == "pass") record_state("run_passed");
      if (status == "fail") record_state("run_failed");
    }
  } catch (const std::exception& e) {
    record["error"] = {{"kind", error_kind(e)}, {"message", e.what()}};
    record_state("error");
    throw;
  }
  report(progress, 4, 4, "started");
  Json out = {{"case_name", name}, {"case_dir", dir}, {"skill", skill.name()}, {"results", results}};
  if (record["state"] == "running")
    out["next"] = "Call check_case with case_name \"" + name + "\" to poll the run; it analyzes the case once the run passed.";
  return out;
}

Json CaseManager::check(const std::string& case_name, const ProgressFn& progress) {
  const std::string dir = case_dir(case_name);
  Json record = usable_record(case_name, dir);
  if (!fs::is_directory(dir) || !record.contains("skill"))
    throw ValueError("There is no case `" + case_name + "` in " + work_dir_ + ".");
  Json out = {{"case_name", case_name}, {"case_dir", dir}, {"skill", record["skill"]}};
  if (record.contains("verdict")) {
    out["state"] = record["state"];
    out["results"] = Json::array({record["verdict"]});
    return out;
  }
  BaseSkill& skill = skill_named(record["skill"].get<std::string>());
  setup_skill(skill, dir, record);

  Json results = Json::array({skill.review_run()});
  const std::string status = results[0].value("status", "");
  if (status == "pass") {
    record["state"] = "run_passed";
    save_case_record(dir, record);
    report(progress, 1, 3, "analyze");
    skill.analyze();
    report(progress, 2, 3, "review_analyze");
    results.push_back(skill.review_analyze());
    record["verdict"] = results.back();
    record["state"] = "analyzed";
    report(progress, 3, 3, "done");
  } else if (status == "fail") {
    record["state"] = "run_failed";
  }
  record["last_review_run"] = results[0];
  save_case_record(dir, record);
  save_case_inputs(dir, skill.inputs);
  out["state"] = record["state"];
  out["results"] = results;
  return out;
}

Json CaseManager::list() const {
  Json cases = Json::array();
  for (const CaseEntry& c : scan_cases(work_dir_).cases)
    cases.push_back({{"case_name", c.name}, {"skill", c.skill}, {"state", c.state}, {"created_at", c.created_at},
                     {"verdict", c.verdict_status}});
  return cases;
}

Json CaseManager::skipped_entries() const {
  Json skipped = Json::array();
  for (const SkippedEntry& s : scan_cases(work_dir_).skipped) skipped.push_back({{"name", s.name}, {"reason", s.reason}});
  return skipped;
}

RankLimit CaseManager::rank_limit() const { return app::rank_limit(work_dir_); }

Json CaseManager::status(const std::string& case_name) const {
  const std::string dir = case_dir(case_name);
  if (!fs::is_regular_file(fs::path(dir) / ".orvanta" / "case.json"))
    throw ValueError("There is no case `" + case_name + "` in " + work_dir_ + ".");
  Json out = load_case_record(dir);
  out["case_name"] = case_name;
  out["inputs"] = load_case_inputs(dir);
  return out;
}

bool CaseManager::stop(const std::string& case_name) { return runner::stop_run(case_dir(case_name)); }

}  // namespace orvanta::app
