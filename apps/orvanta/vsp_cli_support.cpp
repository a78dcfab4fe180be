#include "apps/orvanta/vsp_cli_support.hpp"

#include <filesystem>
#include <iostream>
#include <stdexcept>

namespace orvanta::app {

std::string drain_engine_errors(vsp::Model& model) {
  std::string details;
  for (const auto& e : model.errors().pop_all()) details += (details.empty() ? "" : "; ") + e.text;
  return details;
}

void load_model(vsp::Model& model, const std::string& path, bool update) {
  const bool ok = model.read_file(std::filesystem::absolute(path).string());
  std::string details = drain_engine_errors(model);
  if (ok && update) {
    model.update();
    const std::string more = drain_engine_errors(model);
    details += (details.empty() || more.empty() ? "" : "; ") + more;
  }
  if (!ok || !details.empty()) throw std::runtime_error(details);
}

void run_command_body(CommandContext& ctx, const std::function<std::string()>& body) {
  try {
    std::cout << body() << "\n";
    ctx.exit_code = 0;
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    ctx.exit_code = 1;
  }
}

}  // namespace orvanta::app
