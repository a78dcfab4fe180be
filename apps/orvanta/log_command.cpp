#include "apps/orvanta/commands.hpp"
#include "host/base/errors.hpp"
#include "host/functions/simulation_log.hpp"

#include <iostream>

namespace orvanta::app {

// The flow-solver log as the host reads it; the case-local metrics scripts call this so
// that the log format has one reader.
void register_log_command(CLI::App& app, CommandContext& ctx) {
  auto* log = app.add_subcommand("log", "Read solver logs");
  log->require_subcommand(1);
  auto* summary = log->add_subcommand("summary", "Force, residual and run histories of a solver log, as JSON");
  auto path = std::make_shared<std::string>();
  summary->add_option("log_file", *path, "Solver log")->required();
  summary->callback([path, &ctx] {
    try {
      std::cout << parse_simulation_log(*path).dump() << "\n";
      ctx.exit_code = 0;
    } catch (const std::exception& e) {
      std::cerr << e.what() << "\n";
      ctx.exit_code = 1;
    }
  });
}

}  // namespace orvanta::app
