#include "apps/orvanta/commands.hpp"
#include "host/base/errors.hpp"
#include "host/functions/pressure_profile.hpp"

#include <iostream>

namespace orvanta::app {

// Rules the case-local scripts need and the host owns, so each has one implementation:
// the pressure-profile figure suffixes and the freestream reference values.
void register_support_commands(CLI::App& app, CommandContext& ctx) {
  auto fractions = std::make_shared<std::vector<std::string>>();
  auto* suffixes = app.add_subcommand("profile-suffixes", "File-name suffixes of spanwise stations, as a JSON list");
  suffixes->add_option("fractions", *fractions, "Spanwise fractions");
  suffixes->callback([fractions, &ctx] {
    try {
      Json values = Json::array();
      for (const auto& f : *fractions) values.push_back(f);
      std::cout << Json(pressure_profile_plot_suffixes(values)).dump() << "\n";
      ctx.exit_code = 0;
    } catch (const std::exception& e) {
      std::cerr << e.what() << "\n";
      ctx.exit_code = 1;
    }
  });

  auto mach = std::make_shared<std::string>();
  auto* reference = app.add_subcommand("reference-values", "Freestream reference pressure, dynamic pressure and speed");
  reference->add_option("mach_number", *mach, "Mach number")->required();
  reference->callback([mach, &ctx] {
    try {
      std::cout << compute_pressure_profile_reference_values(Json(*mach)).dump() << "\n";
      ctx.exit_code = 0;
    } catch (const std::exception& e) {
      std::cerr << e.what() << "\n";
      ctx.exit_code = 1;
    }
  });
}

}  // namespace orvanta::app
