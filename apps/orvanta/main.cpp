#include "apps/orvanta/commands.hpp"

#include <iostream>

int main(int argc, char** argv) {
  CLI::App app{"orvanta: aircraft meshing, CFD and shape optimization as agent skills"};
  app.require_subcommand(1);
  orvanta::app::CommandContext ctx;
  orvanta::app::install_geometry_engine();

  orvanta::app::register_skills_command(app, ctx);
  orvanta::app::register_phase_command(app, ctx);
  orvanta::app::register_log_command(app, ctx);
  orvanta::app::register_vsp_command(app, ctx);
  orvanta::app::register_vsp_shape_commands(app, ctx);
  orvanta::app::register_serve_command(app, ctx);
  orvanta::app::register_case_commands(app, ctx);
  orvanta::app::register_support_commands(app, ctx);
  orvanta::app::register_viewer_commands(app, ctx);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  return ctx.exit_code;
}
