#include "apps/orvanta/case_state.hpp"

#include "host/base/errors.hpp"
#include "host/base/json_file.hpp"
#include "host/base/paths.hpp"

#include <cstdlib>
#include <filesystem>

namespace orvanta::app {
namespace fs = std::filesystem;
namespace {

fs::path state_dir(const std::string& case_dir) { return fs::path(case_dir) / ".orvanta"; }

Json read_object_or_empty(const fs::path& path) {
  if (!fs::is_regular_file(path)) return Json::object();
  return read_json_object_file(path.string());
}

// Plain values become {"value": v}; entries that already are {"value": ...} stay. A name the
// skill does not have is refused (a misspelt override would otherwise change nothing),
// except in a section meant for every skill.
void merge_params(Json& target, const Json& overrides, const std::string& where, const std::string& skill,
                  bool shared_section) {
  if (overrides.is_null()) return;
  if (!overrides.is_object()) throw ValueError("Advanced parameters in " + where + " must be a JSON object.");
  for (const auto& [name, entry] : overrides.items()) {
    if (!target.contains(name)) {
      if (shared_section) continue;
      throw KeyError("Unknown advanced parameter `" + name + "` for skill " + skill + " in " + where + ".");
    }
    target[name]["value"] = entry.is_object() && entry.contains("value") ? entry.at("value") : entry;
  }
}

}  // namespace

std::string normalized_case_dir(const std::string& path) {
  std::string s = fs::absolute(fs::path(path)).lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

std::string work_dir() {
  if (const char* w = std::getenv("KESTRAN_WORK_DIR"); w && *w) return normalized_case_dir(w);
  return normalized_case_dir(fs::current_path().string());
}

Json load_case_inputs(const std::string& case_dir) { return read_object_or_empty(state_dir(case_dir) / "inputs.json"); }

void save_case_inputs(const std::string& case_dir, const Json& inputs) {
  write_json_file_atomic((state_dir(case_dir) / "inputs.json").string(), inputs);
}

Json load_case_record(const std::string& case_dir) { return read_object_or_empty(state_dir(case_dir) / "case.json"); }

void save_case_record(const std::string& case_dir, const Json& record) {
  write_json_file_atomic((state_dir(case_dir) / "case.json").string(), record);
}

void save_case_adv_params(const std::string& case_dir, const Json& adv_params) {
  write_json_file_atomic((state_dir(case_dir) / "advanced_parameters.json").string(), adv_params);
}

Json bind_inputs(const BaseSkill& skill, const Json& kept, const Json& given,
                 const std::optional<std::string>& prereq_case_dir, const Json& fallback_inputs) {
  if (!given.is_null() && !given.is_object()) throw ValueError("Inputs must be a JSON object of name: value.");
  Json bound = Json::object();
  for (const auto& [name, info] : skill.input_info().items()) {
    if (given.is_object() && given.contains(name)) bound[name] = given.at(name);
    else if (kept.contains(name)) bound[name] = kept.at(name);
    else bound[name] = info.at("default");

    const Json& v = bound[name];
    if (!v.is_string() || v.get<std::string>().rfind("$prereq.", 0) != 0) continue;
    const std::string source = v.get<std::string>().substr(8);
    if (!prereq_case_dir)
      throw ValueError("Input `" + name + "` takes its value from the prerequisite skill " +
                       skill.prereq_skill().value_or("(none)") + ", but no prerequisite case is known.");
    const Json prereq_inputs = load_case_inputs(*prereq_case_dir);
    if (prereq_inputs.contains(source)) {
      bound[name] = prereq_inputs.at(source);
    } else if (fallback_inputs.is_object() && fallback_inputs.contains(source)) {
      bound[name] = fallback_inputs.at(source);
    } else {
      throw ValueError("Input `" + name + "` takes `" + source + "` from the prerequisite case " + *prereq_case_dir +
                       ", which has no such input; set " + name + " explicitly.");
    }
  }
  for (const Json* extra : {&kept, &given}) {
    if (!extra->is_object()) continue;
    for (const auto& [name, value] : extra->items())
      if (!skill.input_info().contains(name)) bound[name] = value;
  }
  return bound;
}

Json load_adv_params(const std::string& skill_name, const Json& overrides) {
  const Json defaults = read_json_object_file(advanced_parameters_file().string());
  if (!defaults.contains(skill_name))
    throw KeyError("No advanced parameters are defined for skill " + skill_name + ".");
  Json params = defaults.at(skill_name);
  const fs::path user_file = fs::path(work_dir()) / "orvanta.json";
  if (fs::is_regular_file(user_file)) {
    const Json user = read_json_object_file(user_file.string());
    if (user.contains("advanced_parameters")) {
      const Json& section = user.at("advanced_parameters");
      if (section.contains("*")) merge_params(params, section.at("*"), user_file.string(), skill_name, true);
      if (section.contains(skill_name))
        merge_params(params, section.at(skill_name), user_file.string(), skill_name, false);
    }
  }
  merge_params(params, overrides, "the call", skill_name, false);
  return params;
}

Json parse_json_argument(const std::string& text, const std::string& what) {
  std::string source = text;
  if (!text.empty() && text[0] == '@') source = read_text_file(text.substr(1));
  try {
    return Json::parse(source);
  } catch (const Json::parse_error& e) {
    throw ValueError(what + " is not valid JSON: " + e.what());
  }
}

}  // namespace orvanta::app
