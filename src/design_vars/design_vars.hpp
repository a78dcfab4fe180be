#pragma once
// Design variables: vsp_design_vars.json names OpenVSP parameters, with {start..end} range
// patterns, under component / group / variable; each entry becomes one input named
// Component:Group:Variable with the patterns collapsed.

#include "host/base/values.hpp"
#include "host/openvsp/api.hpp"

#include <optional>
#include <string>
#include <vector>

namespace orvanta {

// Concrete names of a pattern: only the first {start..end} range is expanded, inclusive,
// downwards when end < start. A name without a range is its own single expansion.
std::vector<std::string> expand(const std::string& pattern);

// The name used in the key: every brace group and one underscore before it removed.
std::string collapse(const std::string& pattern);

// "Component:Group:Variable" with collapsed group and variable patterns.
std::string design_var_key(const std::string& component, const std::string& group_pattern,
                           const std::string& variable_pattern);

// (group, variable) pairs of an entry, group-major.
std::vector<std::pair<std::string, std::string>> expanded_parameters(const std::string& group_pattern,
                                                                     const std::string& variable_pattern);

// Reads a configuration file as ordered JSON and checks its three levels are objects.
Json read_design_var_config(const std::string& path);

// The parameter id of a (group, variable) pair: XSec_<n> groups address cross-section n of
// the component's first cross-section surface; any other group is a parameter group.
// RuntimeError when the id is empty.
std::string find_design_var_parm(openvsp::OpenVspApi& api, const std::string& component_id,
                                 const std::string& group, const std::string& variable);

double read_vsp_design_var_default(openvsp::OpenVspApi& api, const std::string& component_id,
                                   const std::string& group, const std::string& variable);
void set_vsp_design_var(openvsp::OpenVspApi& api, const std::string& component_id, const std::string& group,
                        const std::string& variable, const Json& value);

// One value per parameter: a list gives its elements, anything else is repeated.
std::vector<Json> normalized_values(const std::string& input_name, const Json& raw_value, size_t n_parameters);

// Input metadata of a configuration evaluated against a model; an absent argument means
// the packaged file.
Json load_vsp_design_var_input_info(const std::optional<std::string>& config_file = std::nullopt,
                                    const std::optional<std::string>& vsp3_file = std::nullopt);

// Writes the design-variable values among `inputs` into the model in place; returns how
// many parameters were set (nothing is written when none).
int apply_vsp_design_var_inputs(const std::string& config_file, const std::string& vsp3_file, const Json& inputs);

// The static inputs followed by the design variables of the working directory's or the
// packaged configuration (see the choice table in the implementation).
Json get_aircraft_vsp_design_var_input_info(const Json& base_input_info, const Json& inputs);

}  // namespace orvanta
