#include "apps/orvanta/commands.hpp"
#include "host/base/errors.hpp"
#include "src/aircraft_agent/aircraft_agent.hpp"

#include <iostream>

namespace orvanta::app {

// The registered skills with their published inputs; a skill whose input metadata cannot
// be produced carries the error instead, and the others are still listed.
Json describe_skills(BaseAgent& agent) {
  Json out = Json::array();
  for (const auto& skill : agent.skills()) {
    Json s = Json::object();
    s["name"] = skill->name();
    s["description"] = skill->description();
    s["prerequisite"] = skill->prereq_skill() ? Json(*skill->prereq_skill()) : Json();
    try {
      s["input_info"] = skill->get_input_info();
    } catch (const std::exception& e) {
      s["error"] = Json{{"kind", error_kind(e)}, {"message", e.what()}};
    }
    out.push_back(s);
  }
  return out;
}

void register_skills_command(CLI::App& app, CommandContext& ctx) {
  auto* cmd = app.add_subcommand("skills", "List the skills with their inputs, as JSON");
  cmd->callback([&ctx] {
    AircraftAgent agent;
    std::cout << describe_skills(agent).dump(2) << "\n";
    ctx.exit_code = 0;
  });
}

}  // namespace orvanta::app
