#pragma once
#include "apps/orvanta/commands.hpp"
#include "vsp/model.hpp"

#include <functional>
#include <string>

// What every geometry subcommand shares: loading a model with the engine's messages as the
// error, and printing a command body's text or its error with the matching exit status.
namespace orvanta::app {

// The engine's queued messages joined by "; " (empty when there are none); drains the queue.
std::string drain_engine_errors(vsp::Model& model);

// Reads a model (and updates it when asked); std::runtime_error carrying the engine's
// messages when reading or updating reports any.
void load_model(vsp::Model& model, const std::string& path, bool update);

// Runs a command body: its text on stdout and status 0, or the error on stderr and status 1.
void run_command_body(CommandContext& ctx, const std::function<std::string()>& body);

}  // namespace orvanta::app
