#include "apps/orvanta/commands.hpp"
#include "apps/orvanta/vsp_cli_support.hpp"
#include "host/base/json_file.hpp"
#include "host/base/values.hpp"
#include "src/design_vars/design_vars.hpp"
#include "vsp/model.hpp"
#include "vsp/surface_locator.hpp"
#include "vsp/wing_measure.hpp"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>

// Geometry subcommands for shape optimization: the design variables with their ranges,
// changed designs, the wing sizes that constraints bound, and where the wall points of a
// mesh go when the shape changes. The case-local optimizer calls these, so the geometry
// rules keep one implementation.
namespace orvanta::app {
namespace {
namespace fs = std::filesystem;

void load(vsp::Model& model, const std::string& path) { load_model(model, path, /*update=*/false); }

std::vector<vsp::Vec3> read_points(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("Cannot read points from " + path + ".");
  std::vector<vsp::Vec3> points;
  std::string line;
  for (size_t number = 1; std::getline(in, line); ++number) {
    if (line.find_first_not_of(" \t\r") == std::string::npos || line[line.find_first_not_of(" \t")] == '#') continue;
    std::istringstream fields(line);
    vsp::Vec3 p;
    if (!(fields >> p.x >> p.y >> p.z))
      throw std::runtime_error(path + " line " + std::to_string(number) + " is not three numbers x y z.");
    points.push_back(p);
  }
  return points;
}

void write_lines(const std::string& path, const std::string& text) {
  const fs::path tmp = fs::path(path).string() + ".tmp";
  {
    std::ofstream out(tmp);
    if (!(out << text)) throw std::runtime_error("Cannot write " + path + ".");
  }
  fs::rename(tmp, path);
}

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

Json measure(const std::string& model_path, const std::string& component, const std::vector<double>& stations) {
  vsp::Model model;
  load(model, model_path);
  const auto ids = model.find_geoms_with_name(component);
  if (ids.size() != 1)
    throw std::runtime_error("Expected exactly one OpenVSP component named `" + component + "`, found " +
                             std::to_string(ids.size()) + ".");
  const vsp::ModelData& data = model.data();
  const vsp::Geom& wing = data.geoms[static_cast<size_t>(data.geom_index(ids[0]))];
  if (wing.type_name != "Wing") throw std::runtime_error("Component `" + component + "` is not a wing.");
  const vsp::WingMeasure m = vsp::measure_wing(data, wing, stations.empty() ? vsp::default_thickness_stations() : stations);
  Json out = Json::object();
  out["component"] = m.name;
  out["volume"] = m.volume;
  out["stations"] = m.stations;
  Json sections = Json::array();
  for (const auto& s : m.sections) {
    Json j = Json::object();
    j["chord"] = s.chord;
    j["max_thickness"] = s.max_thickness;
    j["le_radius"] = s.le_radius;
    j["thickness"] = s.thickness;
    sections.push_back(j);
  }
  out["sections"] = sections;
  return out;
}

std::string locate(const std::string& model_path, const std::string& points_path, const std::string& out_path,
                   double spacing) {
  vsp::Model model;
  load(model, model_path);
  const vsp::SurfaceLocator locator(model.geometry(), spacing);
  std::string text = "# component copy u w distance\n";
  Json per_component = Json::object();
  double farthest = 0.0;
  for (const vsp::Vec3& p : read_points(points_path)) {
    const vsp::SurfaceLocation l = locator.locate(p);
    text += l.component + " " + std::to_string(l.copy) + " " + number(l.u) + " " + number(l.w) + " " +
            number(l.distance) + "\n";
    per_component[l.component] = per_component.value(l.component, 0) + 1;
    farthest = std::max(farthest, l.distance);
  }
  write_lines(out_path, text);
  Json summary = Json::object();
  summary["points"] = per_component;
  summary["max_distance"] = farthest;
  return summary.dump();
}

std::vector<vsp::SurfaceLocation> read_locations(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("Cannot read locations from " + path + ".");
  std::vector<vsp::SurfaceLocation> out;
  std::string line;
  for (size_t number = 1; std::getline(in, line); ++number) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    vsp::SurfaceLocation l;
    if (!(fields >> l.component >> l.copy >> l.u >> l.w >> l.distance))
      throw std::runtime_error(path + " line " + std::to_string(number) + " is not `component copy u w distance`.");
    out.push_back(std::move(l));
  }
  return out;
}

std::string displace(const std::string& baseline, const std::string& design, const std::string& locations_path,
                     const std::string& out_path) {
  vsp::Model before, after;
  load(before, baseline);
  load(after, design);
  const auto locations = read_locations(locations_path);
  const auto moves = vsp::surface_displacements(locations, before.geometry(), after.geometry());
  std::string text;
  text.reserve(moves.size() * 60);
  Json largest = Json::object();
  for (size_t k = 0; k < moves.size(); ++k) {
    text += number(moves[k].x) + " " + number(moves[k].y) + " " + number(moves[k].z) + "\n";
    const double d = vsp::norm(moves[k]);
    largest[locations[k].component] = std::max(largest.value(locations[k].component, 0.0), d);
  }
  write_lines(out_path, text);
  Json summary = Json::object();
  summary["points"] = moves.size();
  summary["max_displacement"] = largest;
  return summary.dump();
}

// Every design variable of the configuration: its baseline values (read as the mesh skill
// reads its defaults) and the range the engine clamps each parameter to.
Json design_vars(const std::string& config_path, const std::string& model_path) {
  const Json values = load_vsp_design_var_input_info(config_path, model_path);
  vsp::Model model;
  load(model, model_path);
  const Json config = read_design_var_config(config_path);
  Json out = Json::object();
  for (const auto& [component, groups] : config.items()) {
    const auto ids = model.find_geoms_with_name(component);
    for (const auto& [group, variables] : groups.items())
      for (const auto& [variable, description] : variables.items()) {
        const std::string key = design_var_key(component, group, variable);
        Json entry = Json::object(), names = Json::array(), lower = Json::array(), upper = Json::array();
        for (const auto& [g, v] : expanded_parameters(group, variable)) {
          names.push_back(g + ":" + v);
          const int index = model.data().parm_index(model.find_parm(ids.at(0), v, g));
          const vsp::ParmLimits limits = index >= 0 ? model.data().parms[static_cast<size_t>(index)].limits : vsp::ParmLimits{};
          lower.push_back(limits.lower);
          upper.push_back(limits.upper);
        }
        const Json& d = values.at(key).at("default");
        entry["parameters"] = names;
        entry["values"] = d.is_array() ? d : Json::array({d});
        entry["lower"] = lower;
        entry["upper"] = upper;
        out[key] = entry;
      }
  }
  return out;
}

std::string apply_design_vars(const std::string& config_path, const std::string& model_path,
                              const std::string& values_path, const std::string& out_path) {
  const Json inputs = read_json_object_file(values_path);
  fs::copy_file(model_path, out_path, fs::copy_options::overwrite_existing);
  const int count = apply_vsp_design_var_inputs(config_path, out_path, inputs);
  return "Set " + std::to_string(count) + " parameter(s) in " + out_path + ".";
}


}  // namespace

void register_vsp_shape_commands(CLI::App& app, CommandContext& ctx) {
  CLI::App* vsp = app.get_subcommand("vsp");

  auto* meas = vsp->add_subcommand("measure", "Section thickness, leading-edge radius and volume of a wing, as JSON");
  auto meas_model = std::make_shared<std::string>();
  auto meas_component = std::make_shared<std::string>("Wing");
  auto meas_stations = std::make_shared<std::vector<double>>();
  meas->add_option("model", *meas_model, "OpenVSP .vsp3 file")->required();
  meas->add_option("--component", *meas_component, "Wing component name (default Wing)");
  meas->add_option("--stations", *meas_stations, "Chord fractions of the thickness values");
  meas->callback([=, &ctx] { run_command_body(ctx, [=] { return measure(*meas_model, *meas_component, *meas_stations).dump(2); }); });

  auto* loc = vsp->add_subcommand("locate", "Surface parameters (component copy u w distance) of points x y z");
  auto loc_model = std::make_shared<std::string>();
  auto loc_points = std::make_shared<std::string>();
  auto loc_out = std::make_shared<std::string>();
  auto loc_spacing = std::make_shared<double>(0.0);
  loc->add_option("model", *loc_model, "OpenVSP .vsp3 file")->required();
  loc->add_option("points", *loc_points, "Text file, one point x y z per line")->required();
  loc->add_option("-o,--output", *loc_out, "Locations file to write")->required();
  loc->add_option("--spacing", *loc_spacing, "Sample spacing of the search surface (default: extent / 400)");
  loc->callback([=, &ctx] { run_command_body(ctx, [=] { return locate(*loc_model, *loc_points, *loc_out, *loc_spacing); }); });

  auto* dis = vsp->add_subcommand("displace", "Displacements dx dy dz of located points from a baseline to a changed model");
  auto dis_base = std::make_shared<std::string>();
  auto dis_design = std::make_shared<std::string>();
  auto dis_loc = std::make_shared<std::string>();
  auto dis_out = std::make_shared<std::string>();
  dis->add_option("baseline", *dis_base, "Model the points were located on")->required();
  dis->add_option("design", *dis_design, "Changed model")->required();
  dis->add_option("locations", *dis_loc, "Output of vsp locate")->required();
  dis->add_option("-o,--output", *dis_out, "Displacements file to write")->required();
  dis->callback([=, &ctx] { run_command_body(ctx, [=] { return displace(*dis_base, *dis_design, *dis_loc, *dis_out); }); });

  auto* dv = vsp->add_subcommand("design-vars", "Design variables of a configuration: parameters, values, ranges, as JSON");
  auto dv_config = std::make_shared<std::string>();
  auto dv_model = std::make_shared<std::string>();
  dv->add_option("config", *dv_config, "vsp_design_vars.json")->required();
  dv->add_option("model", *dv_model, "OpenVSP .vsp3 file")->required();
  dv->callback([=, &ctx] { run_command_body(ctx, [=] { return design_vars(*dv_config, *dv_model).dump(2); }); });

  auto* ap = vsp->add_subcommand("apply-design-vars", "Write design-variable values (a JSON object by key) into a copy of a model");
  auto ap_config = std::make_shared<std::string>();
  auto ap_model = std::make_shared<std::string>();
  auto ap_values = std::make_shared<std::string>();
  auto ap_out = std::make_shared<std::string>();
  ap->add_option("config", *ap_config, "vsp_design_vars.json")->required();
  ap->add_option("model", *ap_model, "Baseline .vsp3 file (left unchanged)")->required();
  ap->add_option("values", *ap_values, "JSON object: design-variable key to value or list of values")->required();
  ap->add_option("-o,--output", *ap_out, "Changed model to write")->required();
  ap->callback([=, &ctx] { run_command_body(ctx, [=] { return apply_design_vars(*ap_config, *ap_model, *ap_values, *ap_out); }); });
}

}  // namespace orvanta::app
