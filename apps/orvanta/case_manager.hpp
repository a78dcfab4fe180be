#pragma once
// Cases in the working directory, as the tool server and the CLI drive them: create and
// stage a case, bring in the prerequisite's mesh and model, bind inputs, run the phases, poll,
// and keep what happened in the case's .orvanta/ folder.

#include "apps/orvanta/case_scan.hpp"
#include "apps/orvanta/input_limits.hpp"
#include "host/base/base_agent.hpp"
#include "host/base/host_services.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvanta::app {

// Reports a step of a long call: how far, out of how much (when known), and what.
using ProgressFn = std::function<void(double progress, std::optional<double> total, const std::string& message)>;

struct StartRequest {
  std::string skill;
  Json inputs = Json::object();      // values chosen by the caller; the rest take their defaults
  Json adv_params = Json::object();  // overrides of the advanced parameters
  std::string case_name;             // empty: a new name is made up
  std::string mesh_case;             // prerequisite case; empty: the newest one whose run passed
};

class CaseManager {
 public:
  using ServicesFactory = std::function<std::shared_ptr<HostServices>()>;
  CaseManager(std::string work_dir, ServicesFactory services);

  BaseAgent& agent() { return *agent_; }
  const std::string& work_dir() const { return work_dir_; }

  // Creates and stages a case, then prepare, review_prepare, run and review_run.
  // {"case_name", "case_dir", "skill", "results": [phase results], "next": ...}
  // Inputs outside their ranges (see start_checks.hpp) are refused before anything is made.
  Json start(const StartRequest& request, const ProgressFn& progress = {});

  // review_run; once it passed, analyze and review_analyze (once: later calls return the
  // stored verdict).
  Json check(const std::string& case_name, const ProgressFn& progress = {});

  // Every case of the working directory: name, skill, state, verdict.
  Json list() const;

  // Folders of the working directory that look like cases but cannot be used as one (they
  // are left out of list()): [{"name", "reason"}], by name.
  Json skipped_entries() const;

  // The rank limit that start() enforces and the tool schemas publish.
  RankLimit rank_limit() const;

  // The stored record of one case.
  Json status(const std::string& case_name) const;

  // The directory of a case name, which must be a single plain name.
  std::string case_dir(const std::string& case_name) const;

  // Stops a case's active run; false when none was active.
  bool stop(const std::string& case_name);

 private:
  BaseSkill& skill_named(const std::string& name) const;
  std::string new_case_name(const std::string& skill) const;
  std::string find_prerequisite(const BaseSkill& skill, const std::string& mesh_case) const;
  // Bound inputs of the newest case that ran on the prerequisite case `prereq_dir`.
  Json sibling_inputs(const std::string& prereq_dir) const;
  void setup_skill(BaseSkill& skill, const std::string& case_dir, const Json& record);

  std::string work_dir_;
  ServicesFactory services_;
  std::unique_ptr<BaseAgent> agent_;
};

}  // namespace orvanta::app
