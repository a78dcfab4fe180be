#include "apps/orvanta/case_state.hpp"
#include "apps/orvanta/case_tools.hpp"
#include "apps/orvanta/commands.hpp"
#include "apps/orvanta/host_setup.hpp"
#include "apps/orvanta/mcp_server.hpp"
#include "apps/orvanta/stdio_lines.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <iostream>

namespace orvanta::app {
namespace {

// The protocol gets a private copy of stdout; file descriptor 1 then points at stderr, so
// nothing else printed in this process (or by a child that inherits it) can land between
// two messages.
int take_protocol_output() {
  const int fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (fd < 0) return STDOUT_FILENO;
  dup2(STDERR_FILENO, STDOUT_FILENO);
  return fd;
}

}  // namespace

void register_serve_command(CLI::App& app, CommandContext& ctx) {
  auto* cmd = app.add_subcommand("serve", "Serve the skills to an agent over the Model Context Protocol (stdio)");
  cmd->callback([&ctx] {
    signal(SIGPIPE, SIG_IGN);  // a client that went away ends the reading loop, not the process
    LineWriter out(take_protocol_output());
    CaseManager cases(work_dir(), [] { return make_host_services(nullptr); });
    std::cerr << "orvanta serve: working directory " << cases.work_dir() << "\n";
    CaseTools tools(cases);
    McpServer server(tools, [&out](const std::string& line) { out.write_line(line); });
    LineReader in(STDIN_FILENO, jsonrpc::kMaxMessageBytes);
    while (const auto line = in.next()) {
      if (line->too_long) server.handle_oversized_line();
      else server.handle_line(line->text);
    }
    server.drain();
    ctx.exit_code = 0;
  });
}

}  // namespace orvanta::app
