#include "apps/orvanta/start_checks.hpp"

#include "host/base/errors.hpp"
#include "host/base/paths.hpp"
#include "host/openvsp/reference_geometry.hpp"
#include "src/design_vars/design_vars.hpp"

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace orvanta::app {
namespace fs = std::filesystem;
namespace {

// A private folder for a throw-away copy of a model, removed on every way out.
class ScratchDir {
 public:
  ScratchDir() {
    std::string templ = (fs::temp_directory_path() / "orvanta_start_check_XXXXXX").string();
    if (!::mkdtemp(templ.data())) throw OSError("Cannot create a scratch folder in " + fs::temp_directory_path().string());
    path_ = templ;
  }
  ~ScratchDir() {
    std::error_code ignored;  // a leftover scratch copy in the temp folder harms nothing
    fs::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::string count_text(double n) { return n < 1e15 ? std::to_string(static_cast<long long>(n)) : g_format(n); }

std::optional<double> real_or_none(const Json& value) {
  try {
    return to_real(value);
  } catch (const OrvantaError&) {
    return std::nullopt;  // the caller refuses it, showing the value as given
  }
}

// Design-variable inputs are reals or lists of reals (one per parameter); each must be finite.
void check_design_var_value(const std::string& name, const Json& value) {
  const InputRange finite;
  if (!value.is_array()) return check_input_value(name, value, finite);
  for (size_t i = 0; i < value.size(); ++i) check_input_value(name + "[" + std::to_string(i) + "]", value[i], finite);
}

// Inputs beyond the static ones are design variables (unknown names were refused earlier).
bool has_design_var_inputs(const BaseSkill& skill, const Json& inputs) {
  for (const auto& [name, value] : inputs.items())
    if (!skill.input_info().contains(name)) return true;
  return false;
}

void check_input_ranges(BaseSkill& skill, const StartFacts& f) {
  Json info = skill.input_info();
  for (const auto& [name, record] : info.items()) {
    if (!f.inputs.contains(name)) continue;
    if (const auto range = input_range(name, record.value("type", ""), f.ranks))
      check_input_value(name, f.inputs.at(name), *range);
  }
  if (!has_design_var_inputs(skill, f.inputs)) return;
  skill.inputs = f.inputs;
  info = skill.get_input_info();
  for (const auto& [name, value] : f.inputs.items()) {
    if (skill.input_info().contains(name) || !info.contains(name)) continue;
    const std::string type = info.at(name).value("type", "");
    if (type == "float" || type == "list[float]") check_design_var_value(name, value);
  }
}

// The model a mesh case starts from (the packaged one, or the user's with custom_vsp3),
// with the call's design-variable values applied to a scratch copy, as prepare applies them
// to the case's copy. Empty when a file is missing: prepare reports that itself.
Json mesh_reference_geometry(const BaseSkill& skill, const StartFacts& f) {
  const bool custom = f.inputs.contains("custom_vsp3") && to_int(f.inputs.at("custom_vsp3")) != 0;
  const fs::path source = custom ? fs::path(f.work_dir) : asset_package_dir(skill.asset_package());
  const fs::path model = source / "aircraft.vsp3", config = source / "vsp_design_vars.json";
  if (!fs::is_regular_file(model) || !fs::is_regular_file(config)) return Json();
  if (!has_design_var_inputs(skill, f.inputs)) return read_vsp_reference_geometry(model.string(), "Wing");
  ScratchDir scratch;
  const fs::path model_copy = scratch.path() / "aircraft.vsp3", config_copy = scratch.path() / "vsp_design_vars.json";
  fs::copy_file(model, model_copy);
  fs::copy_file(config, config_copy);
  apply_vsp_design_var_inputs(config_copy.string(), model_copy.string(), f.inputs);
  return read_vsp_reference_geometry(model_copy.string(), "Wing");
}

void check_background_cells(const Json& adv_params, double reference_length) {
  const Json& max_cell = adv_value(adv_params, "max_cell_size");
  double h = reference_length;
  if (!max_cell.is_null()) {
    const std::optional<double> v = real_or_none(max_cell);
    if (!v || !std::isfinite(*v) || *v <= 0)
      throw ValueError("Advanced parameter `max_cell_size` must be null or a finite length above 0 (metres), got " +
                       shown_value(max_cell) + ".");
    h = *v;
  }
  const BackgroundMesh mesh = background_mesh(reference_length, h);
  if (mesh.cells() <= kMaxBackgroundCells) return;
  throw ValueError("Advanced parameter `max_cell_size` = " + shown_value(max_cell) + " gives " +
                   count_text(mesh.cells()) + " background cells (" + count_text(mesh.nx) + " x " +
                   count_text(mesh.ny) + " x " + count_text(mesh.nx) + ") for the wing's reference length " +
                   g_format(reference_length) + " m; at most " + count_text(kMaxBackgroundCells) +
                   " are allowed. Choose a larger max_cell_size, or null for one reference length (40 x 20 x 40 cells).");
}

void check_mesh_sizing(const BaseSkill& skill, const StartFacts& f) {
  const Json reference = mesh_reference_geometry(skill, f);
  if (reference.is_null()) return;
  check_background_cells(f.adv_params, to_real(reference.at("reference_length")));
}

void check_optimizer(const Json& value) {
  const std::string name = ascii_upper(to_text(value));
  if (name == "SLSQP" || name == "IPOPT" || name == "SNOPT") return;
  throw ValueError("Input `optimizer` must be SLSQP, IPOPT or SNOPT (in any letter case), got " + shown_value(value) +
                   ".");
}

// A relative source names a case beside the new one, so it is taken against the working
// directory, lexically first (as the warm start's own resolution does), then through links.
void check_warm_start_source(const Json& value, const std::string& work_dir) {
  if (!truthy(value)) return;
  const fs::path given(to_text(value));
  const fs::path path = (given.is_absolute() ? given : fs::path(work_dir) / given).lexically_normal();
  const fs::path resolved = fs::weakly_canonical(path);
  const fs::path rel = resolved.lexically_relative(fs::weakly_canonical(work_dir));
  if (rel.empty() || *rel.begin() == ".." || rel == ".")
    throw ValueError("Advanced parameter `initialize_from` must name a case directory inside the working directory " +
                     work_dir + ", got " + shown_value(value) + " (" + resolved.string() + ").");
  if (!fs::is_directory(resolved))
    throw ValueError("Advanced parameter `initialize_from` names " + resolved.string() +
                     ", which is not a case directory.");
}

}  // namespace

void check_start(BaseSkill& skill, const StartFacts& f) {
  check_input_ranges(skill, f);
  if (f.inputs.contains("optimizer")) check_optimizer(f.inputs.at("optimizer"));
  if (f.adv_params.contains("initialize_from")) check_warm_start_source(adv_value(f.adv_params, "initialize_from"), f.work_dir);
  if (f.adv_params.contains("max_cell_size")) check_mesh_sizing(skill, f);
  // prepare measures the mesh case's wing for the reference sizes; a wing the engine cannot
  // build fails here, before the case is made. (The engine refuses chords of 0 or less and
  // clamps spans into its limits, so a wing it builds has positive finite sizes.)
  if (f.prereq_dir && fs::is_regular_file(fs::path(*f.prereq_dir) / "aircraft.vsp3"))
    read_vsp_reference_geometry((fs::path(*f.prereq_dir) / "aircraft.vsp3").string(), "Wing");
}

}  // namespace orvanta::app
