#include "src/design_vars/design_vars.hpp"

#include "host/base/errors.hpp"
#include "host/base/paths.hpp"
#include "host/openvsp/provider.hpp"
#include "host/openvsp/raise_errors.hpp"

#include <cstdlib>
#include <filesystem>
#include <regex>

namespace orvanta {
namespace fs = std::filesystem;
namespace {

// A pattern may not stand for more parameters than any model has; a typo such as
// {0..1000000000} must fail cleanly instead of exhausting memory.
constexpr long long kMaxExpansion = 10000;

const std::regex& range_re() {
  static const std::regex re(R"(\{(-?\d+)\.\.(-?\d+)\})");
  return re;
}

long long range_bound(const std::string& text, const std::string& pattern) {
  try {
    return std::stoll(text);
  } catch (const std::exception&) {
    throw ValueError("Range bound " + text + " in `" + pattern + "` is not a usable integer.");
  }
}

std::string packaged(const std::string& file) { return (asset_package_dir("aircraft_assets") / file).string(); }

std::string absolute_path(const std::string& path) { return fs::absolute(fs::path(path)).string(); }

}  // namespace

std::vector<std::string> expand(const std::string& pattern) {
  std::smatch m;
  if (!std::regex_search(pattern, m, range_re())) return {pattern};
  const long long start = range_bound(m[1], pattern);
  const long long end = range_bound(m[2], pattern);
  const long long count = (end >= start ? end - start : start - end) + 1;
  if (count > kMaxExpansion)
    throw ValueError("Range pattern " + m[0].str() + " in `" + pattern + "` expands to " + std::to_string(count) +
                     " names; at most " + std::to_string(kMaxExpansion) + " are allowed.");
  const long long step = end >= start ? 1 : -1;
  const std::string before = m.prefix(), after = m.suffix();
  std::vector<std::string> out;
  out.reserve(static_cast<size_t>(count));
  for (long long i = start;; i += step) {
    out.push_back(before + std::to_string(i) + after);
    if (i == end) break;
  }
  return out;
}

std::string collapse(const std::string& pattern) {
  static const std::regex brace(R"(_?\{[^}]+\})");
  return std::regex_replace(pattern, brace, "");
}

std::string design_var_key(const std::string& component, const std::string& group_pattern,
                           const std::string& variable_pattern) {
  return component + ":" + collapse(group_pattern) + ":" + collapse(variable_pattern);
}

std::vector<std::pair<std::string, std::string>> expanded_parameters(const std::string& group_pattern,
                                                                     const std::string& variable_pattern) {
  std::vector<std::pair<std::string, std::string>> pairs;
  const auto groups = expand(group_pattern);
  const auto variables = expand(variable_pattern);
  for (const auto& g : groups)
    for (const auto& v : variables) pairs.emplace_back(g, v);
  return pairs;
}

Json read_design_var_config(const std::string& path) {
  const std::string text = read_text_file(path);
  Json config;
  try {
    config = Json::parse(text);
  } catch (const Json::parse_error& e) {
    throw FormatError(e.what());
  }
  const std::string shape =
      "vsp_design_vars.json must map component names to objects of parameter groups, each an object of "
      "variables: ";
  if (!config.is_object()) throw FormatError(shape + "the document is not an object.");
  for (const auto& [component, groups] : config.items()) {
    if (!groups.is_object()) throw FormatError(shape + "`" + component + "` is not an object.");
    for (const auto& [group, variables] : groups.items())
      if (!variables.is_object()) throw FormatError(shape + "`" + component + ":" + group + "` is not an object.");
  }
  return config;
}

std::string find_design_var_parm(openvsp::OpenVspApi& api, const std::string& component_id,
                                 const std::string& group, const std::string& variable) {
  static const std::regex xsec_group(R"(XSec_(\d+))");
  std::smatch m;
  std::string parm_id;
  if (std::regex_match(group, m, xsec_group)) {
    const std::string surf = api.GetXSecSurf(component_id, 0);
    int index = 0;
    try {
      index = std::stoi(m[1]);
    } catch (const std::exception&) {
      index = -1;  // no such cross-section; the lookup below comes back empty
    }
    const std::string xsec = api.GetXSec(surf, index);
    parm_id = api.GetXSecParm(xsec, variable);
  } else {
    parm_id = api.FindParm(component_id, variable, group);
  }
  if (parm_id.empty())
    throw RuntimeError("OpenVSP design variable not found: group=" + group + ", variable=" + variable);
  return parm_id;
}

double read_vsp_design_var_default(openvsp::OpenVspApi& api, const std::string& component_id,
                                   const std::string& group, const std::string& variable) {
  return api.GetParmVal(find_design_var_parm(api, component_id, group, variable));
}

void set_vsp_design_var(openvsp::OpenVspApi& api, const std::string& component_id, const std::string& group,
                        const std::string& variable, const Json& value) {
  const std::string parm_id = find_design_var_parm(api, component_id, group, variable);
  api.SetParmVal(parm_id, to_real(value));
}

std::vector<Json> normalized_values(const std::string& input_name, const Json& raw_value, size_t n_parameters) {
  std::vector<Json> values;
  if (raw_value.is_array()) values.assign(raw_value.begin(), raw_value.end());
  else values.assign(n_parameters, raw_value);
  if (values.size() != n_parameters)
    throw ValueError("Input `" + input_name + "` expected " + std::to_string(n_parameters) +
                     " value(s) from vsp_design_vars.json, but received " + std::to_string(values.size()) + ".");
  return values;
}

namespace {

std::string single_component_id(openvsp::OpenVspApi& api, const std::string& name) {
  const auto ids = api.FindGeomsWithName(name);
  if (ids.size() != 1)
    throw RuntimeError("Expected exactly one OpenVSP component named `" + name + "`, found " +
                       std::to_string(ids.size()) + ".");
  return ids.front();
}

}  // namespace

Json load_vsp_design_var_input_info(const std::optional<std::string>& config_file,
                                    const std::optional<std::string>& vsp3_file) {
  const Json config = read_design_var_config(config_file ? *config_file : packaged("vsp_design_vars.json"));
  const std::string model = absolute_path(vsp3_file ? *vsp3_file : packaged("aircraft.vsp3"));
  if (!fs::is_regular_file(model)) throw FileNotFoundError("OpenVSP file was not found: " + model);

  openvsp::OpenVspApi& api = openvsp::obtain_api();
  api.ClearVSPModel();
  api.ReadVSPFile(model);
  openvsp_raise_errors(api, "OpenVSP failed to read " + model);
  api.Update();

  Json result = Json::object();
  for (const auto& [component, groups] : config.items()) {
    const std::string component_id = single_component_id(api, component);
    for (const auto& [group, variables] : groups.items()) {
      for (const auto& [variable, description] : variables.items()) {
        const auto pairs = expanded_parameters(group, variable);
        Json defaults = Json::array();
        for (const auto& [g, v] : pairs) defaults.push_back(read_vsp_design_var_default(api, component_id, g, v));
        Json record = Json::object();
        record["type"] = pairs.size() == 1 ? "float" : "list[float]";
        record["default"] = pairs.size() == 1 ? defaults[0] : defaults;
        record["description"] = description;
        // A repeated key replaces the earlier record in the earlier position.
        result[design_var_key(component, group, variable)] = record;
      }
    }
  }
  return result;
}

int apply_vsp_design_var_inputs(const std::string& config_file, const std::string& vsp3_file, const Json& inputs) {
  const Json config = read_design_var_config(config_file);
  openvsp::OpenVspApi& api = openvsp::obtain_api();
  api.ClearVSPModel();
  api.ReadVSPFile(absolute_path(vsp3_file));
  openvsp_raise_errors(api, "OpenVSP failed to read " + vsp3_file);

  int count = 0;
  for (const auto& [component, groups] : config.items()) {
    // Every configured component must exist, whether or not an input refers to it.
    const std::string component_id = single_component_id(api, component);
    for (const auto& [group, variables] : groups.items()) {
      for (const auto& [variable, description] : variables.items()) {
        const std::string key = design_var_key(component, group, variable);
        if (!inputs.is_object() || !inputs.contains(key)) continue;
        const auto pairs = expanded_parameters(group, variable);
        const auto values = normalized_values(key, inputs.at(key), pairs.size());
        for (size_t i = 0; i < pairs.size(); ++i) {
          set_vsp_design_var(api, component_id, pairs[i].first, pairs[i].second, values[i]);
          ++count;
        }
      }
    }
  }
  if (count != 0) {
    api.Update();
    api.WriteVSPFile(absolute_path(vsp3_file));
    openvsp_raise_errors(api, "OpenVSP failed to write " + vsp3_file);
  }
  return count;
}

// Which schema is offered:
//   no bound inputs:                    the working directory's when its vsp_design_vars.json exists
//   custom_vsp3 non-zero:               the working directory's when its vsp_design_vars.json exists
//   custom_vsp3 0 or absent:            always the packaged one
// Only the configuration's existence is tested; a missing working-directory model then fails
// the load with the not-found message. KESTRAN_WORK_DIR unset or empty: always packaged.
Json get_aircraft_vsp_design_var_input_info(const Json& base_input_info, const Json& inputs) {
  Json result = base_input_info;
  std::optional<std::string> config_candidate, model_candidate;
  if (const char* work = std::getenv("KESTRAN_WORK_DIR"); work && *work) {
    config_candidate = (fs::path(work) / "vsp_design_vars.json").string();
    model_candidate = (fs::path(work) / "aircraft.vsp3").string();
  }
  const bool candidate_exists = config_candidate && fs::is_regular_file(*config_candidate);

  bool use_work_dir = false;
  if (!truthy(inputs)) {
    use_work_dir = candidate_exists;
  } else {
    const Json custom = inputs.contains("custom_vsp3") ? inputs.at("custom_vsp3") : Json(0);
    use_work_dir = to_int(custom) != 0 && candidate_exists;
  }

  const Json design_vars = use_work_dir ? load_vsp_design_var_input_info(config_candidate, model_candidate)
                                        : load_vsp_design_var_input_info();
  for (const auto& [key, record] : design_vars.items()) result[key] = record;
  return result;
}

}  // namespace orvanta
