#pragma once
// The figure commands the CFD and optimization analyses both give to the case-local
// plotting script, and the freestream values those commands carry.

#include "host/base/base_skill.hpp"

#include <string>
#include <vector>

namespace orvanta {

// The freestream values the flow-field plots need, in the order they are read.
struct PlotScales {
  std::vector<std::string> fractions, stations;  // quoted texts
  std::string reference_pressure, pressure_coefficient_scale, u0;
  double cp_lower = 0, cp_upper = 0, u_lower = 0, u_upper = 0;
  double cp_scaling = 0, u_scaling = 0;
};
PlotScales compute_plot_scales(const BaseSkill& skill);

// Where a plot command sends its output: " >> <log> 2>&1".
std::string plot_log_tail(const std::string& plot_log);

// Residual and force-coefficient histories read from a solver log.
std::string residual_plot_command(const std::string& log_file, const std::string& tail);
std::string function_plot_command(const std::string& log_file, const std::string& tail);

// The Cp and U surface fields; `surfaces` is empty for the solver's own surface or
// " -mesh_file <a> <b>" for named ones.
std::vector<std::string> flow_field_plot_commands(const PlotScales& s, const std::string& surfaces,
                                                  const std::string& tail);

// Spanwise Cp cuts through the surface in `mesh_file`, at the configured fractions.
std::string pressure_profile_plot_command(const PlotScales& s, const std::string& mesh_file, const std::string& tail);

// The figures a pressure-profile command produces, one per configured fraction.
std::vector<std::string> pressure_profile_figures(const Json& fractions);

}  // namespace orvanta
