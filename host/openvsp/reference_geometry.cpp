#include "host/openvsp/reference_geometry.hpp"

#include "host/base/errors.hpp"
#include "vsp/model.hpp"
#include "vsp/wing_reference.hpp"

#include <filesystem>

namespace orvanta {
namespace fs = std::filesystem;

Json read_vsp_reference_geometry(const std::string& vsp3_path, const std::string& wing_name) {
  const std::string path = fs::absolute(fs::path(vsp3_path)).string();
  if (!fs::is_regular_file(path)) throw FileNotFoundError("OpenVSP file was not found: " + path);

  // A model of its own: measuring a wing must not disturb the process-wide model.
  vsp::Model model;
  if (!model.read_file(path)) {
    std::string details;
    for (const auto& e : model.errors().pop_all()) details += (details.empty() ? "" : "; ") + e.text;
    throw GeometryError("OpenVSP failed to read " + path + ": " + details);
  }
  const auto ids = model.find_geoms_with_name(wing_name);
  if (ids.size() != 1)
    throw RuntimeError("Expected exactly one OpenVSP component named `" + wing_name + "`, found " +
                       std::to_string(ids.size()) + ".");
  const vsp::ModelData& data = model.data();
  const vsp::Geom& wing = data.geoms[static_cast<size_t>(data.geom_index(ids.front()))];
  if (wing.type_name != "Wing")
    throw RuntimeError("OpenVSP component `" + wing_name + "` is a " + wing.type_name +
                       " component, not a wing; the reference geometry is measured on a wing.");

  const vsp::WingReference r = vsp::wing_reference(data, wing);
  Json out = Json::object();
  out["reference_area"] = r.area;
  out["reference_length"] = r.mac;
  out["reference_span"] = r.span;
  out["mac_le_x"] = r.mac_leading_edge.x;
  out["mac_y"] = r.mac_leading_edge.y;
  out["mac_le_z"] = r.mac_leading_edge.z;
  out["root_chord"] = r.root_chord;
  out["tip_chord"] = r.tip_chord;
  out["taper_ratio"] = r.taper_ratio;
  out["aspect_ratio"] = r.aspect_ratio;
  out["le_sweep_deg"] = r.le_sweep_deg;
  out["quarter_chord_sweep_deg"] = r.quarter_chord_sweep_deg;
  out["mean_chord"] = r.mean_chord;
  out["projected_span"] = r.projected_span;
  return out;
}

}  // namespace orvanta
