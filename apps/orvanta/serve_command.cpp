#include "apps/orvanta/case_state.hpp"
#include "apps/orvanta/commands.hpp"
#include "apps/orvanta/host_setup.hpp"
#include "apps/orvanta/mcp_server.hpp"

#include <iostream>

namespace orvanta::app {

// stdout carries the protocol only; everything else goes to stderr.
void register_serve_command(CLI::App& app, CommandContext& ctx) {
  auto* cmd = app.add_subcommand("serve", "Serve the skills to an agent over the Model Context Protocol (stdio)");
  cmd->callback([&ctx] {
    std::ios::sync_with_stdio(false);
    CaseManager cases(work_dir(), [] { return make_host_services(nullptr); });
    std::cerr << "orvanta serve: working directory " << cases.work_dir() << "\n";
    McpServer server(cases, [](const std::string& line) {
      std::cout << line << '\n';
      std::cout.flush();
    });
    std::string line;
    while (std::getline(std::cin, line)) server.handle_line(line);
    server.drain();
    ctx.exit_code = 0;
  });
}

}  // namespace orvanta::app
