#include "apps/orvanta/commands.hpp"
#include "apps/orvanta/vsp_cli_support.hpp"
#include "host/base/values.hpp"
#include "host/openvsp/engine_api.hpp"
#include "host/openvsp/provider.hpp"
#include "host/openvsp/reference_geometry.hpp"
#include "vsp/mesh_check.hpp"
#include "vsp/model.hpp"

#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <vector>

// Geometry subcommands: what case-local scripts need from the geometry engine (the STL of a
// model, its parameters and reference geometry) without a second implementation in Python.
namespace orvanta::app {
namespace {
namespace fs = std::filesystem;

void load(vsp::Model& model, const std::string& path) { load_model(model, path, /*update=*/true); }

Json mesh_json(const vsp::MeshCheck& c) {
  Json j = Json::object();
  j["points"] = c.points;
  j["triangles"] = c.triangles;
  j["edges"] = c.edges;
  j["open_edges"] = c.open_edges;
  j["crowded_edges"] = c.crowded_edges;
  j["misoriented_edges"] = c.misoriented_edges;
  j["volume"] = c.volume;
  j["watertight"] = c.watertight();
  return j;
}

Json parameters_json(const vsp::ModelData& data, const vsp::Geom& g) {
  Json groups = Json::object();
  auto add = [&](int container, const std::string& suffix) {
    if (container < 0) return;
    for (int p : data.containers[container].parms) {
      const vsp::Parm& parm = data.parms[p];
      groups[std::string(parm.group) + suffix][std::string(parm.name)] = parm.value;
    }
  };
  add(g.container, "");
  for (size_t i = 0; i < g.xsecs.size(); ++i) {
    add(g.xsecs[i].container, "_" + std::to_string(i));
    add(g.xsecs[i].curve.container, "_" + std::to_string(i));
  }
  return groups;
}

Json info_json(const std::string& path, bool with_mesh) {
  vsp::Model model;
  load(model, path);
  const vsp::ModelData& data = model.data();
  Json out = Json::object();
  out["model"] = fs::absolute(path).string();
  Json components = Json::array();
  std::vector<vsp::ComponentGeometry> drawn;
  if (with_mesh) drawn = model.geometry();
  for (const vsp::Geom& g : data.geoms) {
    Json c = Json::object();
    c["id"] = data.containers[g.container].id;
    c["name"] = data.geom_name(g);
    c["type"] = g.type_name;
    c["type_id"] = g.type_id;
    c["parent"] = g.parent_id;
    c["cross_sections"] = g.xsecs.size();
    if (!g.xsecs.empty()) {
      Json curves = Json::array();
      for (const auto& x : g.xsecs) curves.push_back(vsp::curve_type_name(x.curve.type));
      c["curves"] = curves;
    }
    for (const auto& d : drawn) {
      if (d.id != data.containers[g.container].id) continue;
      Json mesh = mesh_json(vsp::check_mesh(d.tessellate()));
      mesh["copies"] = d.copies.size();
      mesh["joined_at_root"] = d.joined;
      c["mesh"] = mesh;
    }
    c["parameters"] = parameters_json(data, g);
    components.push_back(c);
  }
  out["components"] = components;
  const auto wings = model.find_geoms_with_name("Wing");
  if (wings.size() == 1 && data.geoms[static_cast<size_t>(data.geom_index(wings[0]))].type_name == "Wing")
    out["reference_geometry"] = read_vsp_reference_geometry(path, "Wing");
  return out;
}

std::string export_stl(const std::string& model_path, const std::string& stl_path) {
  vsp::Model model;
  load(model, model_path);
  vsp::Model::ExportSummary summary;
  if (!model.export_stl(fs::absolute(stl_path).string(), 0, "aircraft", &summary)) {
    throw std::runtime_error(drain_engine_errors(model));
  }
  return "Wrote " + stl_path + ": " + std::to_string(summary.components) + " component(s), " +
         std::to_string(summary.triangles) + " triangles.";
}

void save(vsp::Model& model, const std::string& path) {
  if (!model.write_file(fs::absolute(path).string())) {
    throw std::runtime_error(drain_engine_errors(model));
  }
}

std::string update_model(const std::string& model_path, const std::string& out) {
  vsp::Model model;
  load(model, model_path);
  save(model, out.empty() ? model_path : out);
  return "Updated " + (out.empty() ? model_path : out) + ".";
}

// Assignments "GROUP:NAME=VALUE" on one component, then an update and a write.
std::string set_parameters(const std::string& model_path, const std::string& component,
                           const std::vector<std::string>& assignments, const std::string& out) {
  vsp::Model model;
  load(model, model_path);
  const auto ids = model.find_geoms_with_name(component);
  if (ids.size() != 1)
    throw std::runtime_error("Expected exactly one OpenVSP component named `" + component + "`, found " +
                             std::to_string(ids.size()) + ".");
  std::vector<std::string> ids_set;
  for (const std::string& a : assignments) {
    const auto colon = a.find(':'), eq = a.find('=');
    if (colon == std::string::npos || eq == std::string::npos || eq < colon)
      throw std::runtime_error("Assignment `" + a + "` is not of the form GROUP:NAME=VALUE.");
    const std::string group = a.substr(0, colon), name = a.substr(colon + 1, eq - colon - 1);
    const std::string id = model.find_parm(ids[0], name, group);
    if (id.empty()) throw std::runtime_error("Component `" + component + "` has no parameter " + group + ":" + name + ".");
    model.set_parm_value(id, to_real(Json(a.substr(eq + 1))));
    ids_set.push_back(id);
  }
  model.update();
  if (const std::string details = drain_engine_errors(model); !details.empty()) throw std::runtime_error(details);
  save(model, out.empty() ? model_path : out);
  Json values = Json::object();
  for (size_t k = 0; k < assignments.size(); ++k)
    values[assignments[k].substr(0, assignments[k].find('='))] = *model.parm_value(ids_set[k]);
  return values.dump();
}


}  // namespace

void install_geometry_engine() { openvsp::set_provider(openvsp::engine_provider()); }

void register_vsp_command(CLI::App& app, CommandContext& ctx) {
  auto* vsp = app.add_subcommand("vsp", "OpenVSP models: parameters, reference geometry, STL export");
  vsp->require_subcommand(1);

  auto* info = vsp->add_subcommand("info", "Components, parameters by group and the reference geometry of `Wing`, as JSON");
  auto info_model = std::make_shared<std::string>();
  auto info_mesh = std::make_shared<bool>(false);
  info->add_option("model", *info_model, "OpenVSP .vsp3 file")->required();
  info->add_flag("--mesh", *info_mesh, "Also tessellate each component and report whether it is closed");
  info->callback([=, &ctx] { run_command_body(ctx, [=] { return info_json(*info_model, *info_mesh).dump(2); }); });

  auto* stl = vsp->add_subcommand("export-stl", "The whole model as one closed STL surface (solid `aircraft`)");
  auto stl_model = std::make_shared<std::string>();
  auto stl_out = std::make_shared<std::string>();
  stl->add_option("model", *stl_model, "OpenVSP .vsp3 file")->required();
  stl->add_option("stl", *stl_out, "STL file to write")->required();
  stl->callback([=, &ctx] { run_command_body(ctx, [=] { return export_stl(*stl_model, *stl_out); }); });

  auto* upd = vsp->add_subcommand("update", "Recompute derived values (section areas, totals, CST thickness) and save");
  auto upd_model = std::make_shared<std::string>();
  auto upd_out = std::make_shared<std::string>();
  upd->add_option("model", *upd_model, "OpenVSP .vsp3 file")->required();
  upd->add_option("-o,--output", *upd_out, "Write here instead of in place");
  upd->callback([=, &ctx] { run_command_body(ctx, [=] { return update_model(*upd_model, *upd_out); }); });

  auto* set = vsp->add_subcommand("set", "Set parameters of one component (GROUP:NAME=VALUE, cross-section groups as XSec_1), update and save");
  auto set_model = std::make_shared<std::string>();
  auto set_component = std::make_shared<std::string>();
  auto set_values = std::make_shared<std::vector<std::string>>();
  auto set_out = std::make_shared<std::string>();
  set->add_option("model", *set_model, "OpenVSP .vsp3 file")->required();
  set->add_option("component", *set_component, "Component name")->required();
  set->add_option("assignments", *set_values, "GROUP:NAME=VALUE ...")->required();
  set->add_option("-o,--output", *set_out, "Write here instead of in place");
  set->callback([=, &ctx] { run_command_body(ctx, [=] { return set_parameters(*set_model, *set_component, *set_values, *set_out); }); });

  auto* check = vsp->add_subcommand("check-stl", "Edge use, orientation and enclosed volume of an ASCII STL, as JSON");
  auto check_file = std::make_shared<std::string>();
  check->add_option("stl", *check_file, "ASCII STL file")->required();
  check->callback([=, &ctx] { run_command_body(ctx, [=] { return mesh_json(vsp::check_mesh(vsp::read_stl(*check_file))).dump(2); }); });
}

}  // namespace orvanta::app
