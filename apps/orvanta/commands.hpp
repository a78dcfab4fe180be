#pragma once
// Each subcommand of orvanta registers itself on the CLI here. A command's callback stores
// its exit status in `exit_code`; output goes to stdout, diagnostics to stderr.

#include <CLI/CLI.hpp>

namespace orvanta::app {

struct CommandContext {
  int exit_code = 0;
};

void register_skills_command(CLI::App& app, CommandContext& ctx);
void register_phase_command(CLI::App& app, CommandContext& ctx);
void register_log_command(CLI::App& app, CommandContext& ctx);
void register_vsp_command(CLI::App& app, CommandContext& ctx);
// Adds shape-optimization commands to `vsp`; registered after it.
void register_vsp_shape_commands(CLI::App& app, CommandContext& ctx);
void register_serve_command(CLI::App& app, CommandContext& ctx);
void register_case_commands(CLI::App& app, CommandContext& ctx);
void register_support_commands(CLI::App& app, CommandContext& ctx);
void register_viewer_commands(CLI::App& app, CommandContext& ctx);

// Installs the real geometry engine as the process's geometry API provider.
void install_geometry_engine();

}  // namespace orvanta::app
