#include "apps/orvanta/case_state.hpp"
#include "apps/orvanta/commands.hpp"
#include "apps/orvanta/host_setup.hpp"
#include "host/base/errors.hpp"
#include "host/base/recording_host_services.hpp"
#include "src/aircraft_agent/aircraft_agent.hpp"

#include <chrono>
#include <filesystem>
#include <iostream>

namespace orvanta::app {
namespace {

struct PhaseArgs {
  std::string skill, phase, case_dir, inputs, adv_params, prereq_case;
  bool dry_run = false;
};

// Keeps the case record in step with the phases, as the tool server does, so cases driven
// phase by phase can serve as prerequisites and show up in `orvanta cases`.
void note_phase_in_record(Json& record, const BaseSkill& skill, const std::string& phase, const Json& result) {
  record["skill"] = skill.name();
  if (!record.contains("created_at"))
    record["created_at"] =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  const std::string status = result.is_object() ? result.value("status", "") : "";
  if (phase == "run") record["state"] = "running";
  if (phase == "review_run" && status == "pass") record["state"] = "run_passed";
  if (phase == "review_run" && status == "fail") record["state"] = "run_failed";
  if (phase == "review_analyze") {
    record["verdict"] = result;
    record["state"] = "analyzed";
  }
}

Json run_phase(const PhaseArgs& a) {
  AircraftAgent agent;
  BaseSkill* skill = agent.find_skill(a.skill);
  if (!skill) throw ValueError("Unknown skill `" + a.skill + "`.");

  const std::string case_dir = normalized_case_dir(a.case_dir);
  const Json given = a.inputs.empty() ? Json::object() : parse_json_argument(a.inputs, "--inputs");
  const Json overrides = a.adv_params.empty() ? Json::object() : parse_json_argument(a.adv_params, "--adv-params");
  Json record = load_case_record(case_dir);
  std::optional<std::string> prereq;
  if (!a.prereq_case.empty()) prereq = normalized_case_dir(a.prereq_case);
  else if (record.contains("prereq_case") && record.at("prereq_case").is_string())
    prereq = record.at("prereq_case").get<std::string>();

  skill->case_dir = case_dir;
  skill->inputs = bind_inputs(*skill, load_case_inputs(case_dir), given, prereq);
  skill->adv_params = load_adv_params(skill->name(), overrides);

  auto recorder = std::make_shared<RecordingHostServices>();
  skill->set_host_services(a.dry_run ? std::shared_ptr<HostServices>(recorder)
                                     : make_host_services(recorder));

  if (std::filesystem::is_directory(case_dir)) save_case_adv_params(case_dir, skill->adv_params);
  Json result = skill->call_phase(a.phase);
  if (std::filesystem::is_directory(case_dir)) {
    save_case_inputs(case_dir, skill->inputs);
    note_phase_in_record(record, *skill, a.phase, result);
    if (prereq) record["prereq_case"] = *prereq;
    save_case_record(case_dir, record);
  }
  Json out = Json::object();
  out["result"] = result;
  out["inputs"] = skill->inputs;
  out["host_calls"] = recorder->calls();
  return out;
}

}  // namespace

void register_phase_command(CLI::App& app, CommandContext& ctx) {
  auto* cmd = app.add_subcommand("phase", "Run one phase of a skill on a case and print the result as JSON");
  auto args = std::make_shared<PhaseArgs>();
  cmd->add_option("skill", args->skill, "Skill name")->required();
  cmd->add_option("phase", args->phase, "Phase name")->required();
  cmd->add_option("--case-dir", args->case_dir, "Case directory")->required();
  cmd->add_option("--inputs", args->inputs, "Inputs as JSON, or @file");
  cmd->add_option("--adv-params", args->adv_params, "Advanced parameters as JSON, or @file");
  cmd->add_option("--prereq-case", args->prereq_case, "Case directory of the prerequisite skill");
  cmd->add_flag("--dry-run", args->dry_run, "Record what would be started instead of starting it");
  cmd->callback([args, &ctx] {
    try {
      std::cout << run_phase(*args).dump(2) << "\n";
      ctx.exit_code = 0;
    } catch (const std::exception& e) {
      Json err = {{"error", {{"kind", error_kind(e)}, {"message", e.what()}}}};
      std::cout << err.dump(2) << "\n";
      ctx.exit_code = 1;
    }
  });
}

}  // namespace orvanta::app
