#include "apps/orvanta/commands.hpp"
#include "host/openvsp/provider.hpp"

// Placeholder until the geometry engine lands: no engine, no vsp subcommands.
namespace orvanta::app {

void install_geometry_engine() { openvsp::set_provider(openvsp::unavailable_provider()); }

void register_vsp_command(CLI::App&, CommandContext&) {}

}  // namespace orvanta::app
