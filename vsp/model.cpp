#include "vsp/model.hpp"

#include "vsp/airfoil.hpp"
#include "vsp/geometry_error.hpp"
#include "vsp/internal/atomic_file.hpp"
#include "vsp/internal/xml_reader.hpp"
#include "vsp/number_text.hpp"
#include "vsp/stl_writer.hpp"
#include "vsp/wing_planform.hpp"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace orvanta::vsp {
namespace {

constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_declaration;

std::string read_failure(const std::string& label, const std::string& why) {
  return "ReadVSPFile::Error reading " + label + ": " + why;
}

class FileXmlWriter : public pugi::xml_writer {
 public:
  explicit FileXmlWriter(std::FILE* f) : f_(f) {}
  void write(const void* data, size_t size) override { ok_ = ok_ && std::fwrite(data, 1, size, f_) == size; }
  bool ok() const { return ok_; }

 private:
  std::FILE* f_;
  bool ok_ = true;
};

// A changed Scale rescales the planform and lengths themselves, as OpenVSP does, so that saved
// section values are always the final ones.
void apply_scale_changes(ModelData& data) {
  for (Geom& g : data.geoms) {
    const int scale = data.find(g.container, "XForm", "Scale");
    const int last = data.find(g.container, "XForm", "Last_Scale");
    if (scale < 0 || last < 0) continue;
    const double s = data.parms[scale].value, l = data.parms[last].value;
    if (s == l || !(l > 0.0)) continue;
    const double f = s / l;
    for (const XSec& x : g.xsecs) {
      for (const char* name : {"Span", "Root_Chord", "Tip_Chord", "Avg_Chord"})
        data.set(x.container, "XSec", name, f * data.value(x.container, "XSec", name, 0.0));
      data.set(x.container, "XSec", "Area", f * f * data.value(x.container, "XSec", "Area", 0.0));
    }
    data.set(g.container, "Design", "Length", f * data.value(g.container, "Design", "Length", 0.0));
    data.parms[last].value = s;
  }
}

}  // namespace

Model::Model() = default;
Model::~Model() = default;

void Model::clear() {
  doc_.reset();
  data_ = ModelData();
  edits_.clear();
}

bool Model::empty() const { return !doc_; }

bool Model::read_file(const std::string& path) {
  clear();
  auto doc = std::make_unique<pugi::xml_document>();
  const pugi::xml_parse_result r = doc->load_file(path.c_str(), kParseOptions);
  if (r.status == pugi::status_file_not_found || r.status == pugi::status_io_error) {
    errors_.push(ErrorCode::kReadFailure, read_failure(path, "the file cannot be opened"));
    return false;
  }
  if (!r) {
    errors_.push(ErrorCode::kReadFailure,
                 read_failure(path, std::string("not well-formed XML (") + r.description() + " at byte " +
                                        std::to_string(r.offset) + ")"));
    return false;
  }
  return adopt(std::move(doc), path);
}

bool Model::read_text(std::string_view text, const std::string& label) {
  clear();
  auto doc = std::make_unique<pugi::xml_document>();
  const pugi::xml_parse_result r = doc->load_buffer(text.data(), text.size(), kParseOptions);
  if (!r) {
    errors_.push(ErrorCode::kReadFailure,
                 read_failure(label, std::string("not well-formed XML (") + r.description() + " at byte " +
                                         std::to_string(r.offset) + ")"));
    return false;
  }
  return adopt(std::move(doc), label);
}

bool Model::adopt(std::unique_ptr<pugi::xml_document> doc, const std::string& label) {
  ModelData fresh;
  try {
    internal::read_model_data(*doc, fresh);
  } catch (const internal::ReadError& e) {
    errors_.push(ErrorCode::kReadFailure, read_failure(label, e.what()));
    return false;
  }
  doc_ = std::move(doc);
  data_ = std::move(fresh);
  // A file whose parameters give no valid planform is refused as a whole.
  const auto problems = run_update();
  if (problems.empty()) return true;
  clear();
  for (const auto& p : problems) errors_.push(ErrorCode::kReadFailure, read_failure(label, p.text));
  return false;
}

std::vector<EngineError> Model::run_update() {
  std::vector<EngineError> problems;
  apply_scale_changes(data_);
  for (size_t gi = 0; gi < data_.geoms.size(); ++gi) {
    Geom& g = data_.geoms[gi];
    if (g.type_name == "Wing") {
      std::vector<int> edited;
      for (const auto& [geom, xsec] : edits_) {
        if (geom != static_cast<int>(gi)) continue;
        edited.erase(std::remove(edited.begin(), edited.end(), xsec), edited.end());
        edited.push_back(xsec);
      }
      try {
        update_wing_planform(data_, static_cast<int>(gi), edited);
      } catch (const PlanformError& e) {
        problems.push_back({ErrorCode::kUpdateFailure, e.what()});
      }
      for (XSec& x : g.xsecs) update_airfoil_outputs(data_, x.curve);
    } else if (g.type_name == "Fuselage") {
      const double length = data_.value(g.container, "Design", "Length", 1.0);
      for (const XSec& x : g.xsecs) data_.set(x.container, "XSec", "RefLength", length);
    }
  }
  edits_.clear();
  return problems;
}

void Model::update() {
  if (!doc_) return;
  for (auto& p : run_update()) errors_.push(p.code, "Update::" + p.text);
}

bool Model::write_file(const std::string& path) {
  const std::string failure = "WriteVSPFile::Failure Writing File " + path + ": ";
  if (!doc_) {
    errors_.push(ErrorCode::kWriteFailure, failure + "there is no model to write");
    return false;
  }
  for (const Parm& p : data_.parms) p.node.attribute("Value").set_value(value_text(p.value).c_str());
  try {
    internal::write_atomically(path, [this](std::FILE* f) {
      FileXmlWriter w(f);
      doc_->save(w, "  ", pugi::format_default, pugi::encoding_utf8);
      return w.ok();
    });
  } catch (const std::runtime_error& e) {
    errors_.push(ErrorCode::kWriteFailure, failure + e.what());
    return false;
  }
  return true;
}

std::vector<ComponentGeometry> Model::geometry(int set, size_t max_triangles) const {
  return build_geometry(data_, set, max_triangles);
}

bool Model::export_stl(const std::string& path, int set, const std::string& solid_name, ExportSummary* summary) {
  const std::string failure = "ExportFile::Failure exporting " + path + ": ";
  if (!doc_) {
    errors_.push(ErrorCode::kExportFailure, failure + "there is no model to export");
    return false;
  }
  try {
    TriMesh all;
    const auto components = build_geometry(data_, set);
    for (const ComponentGeometry& c : components) c.tessellate_into(all);
    if (all.triangles.empty()) throw GeometryBuildError("no component of set " + std::to_string(set) + " has a surface");
    write_stl(path, all, solid_name);
    if (summary) *summary = {components.size(), all.triangles.size()};
  } catch (const GeometryBuildError& e) {
    errors_.push(ErrorCode::kExportFailure, failure + e.what());
    return false;
  } catch (const std::runtime_error& e) {
    errors_.push(ErrorCode::kExportFailure, failure + e.what());
    return false;
  }
  return true;
}

std::vector<std::string> Model::find_geoms_with_name(std::string_view name) const {
  std::vector<std::string> ids;
  for (const Geom& g : data_.geoms)
    if (data_.geom_name(g) == name) ids.push_back(data_.containers[g.container].id);
  return ids;
}

std::string Model::xsec_surf(std::string_view geom_id, int index) const {
  const int gi = data_.geom_index(geom_id);
  if (gi < 0 || index != 0 || data_.geoms[gi].surf_container < 0) return "";
  return data_.containers[data_.geoms[gi].surf_container].id;
}

std::string Model::xsec(std::string_view xsec_surf_id, int index) const {
  const int c = data_.container_index(xsec_surf_id);
  if (c < 0 || data_.containers[c].role != ContainerRole::kXSecSurf) return "";
  const Geom& g = data_.geoms[data_.containers[c].geom];
  if (index < 0 || index >= static_cast<int>(g.xsecs.size())) return "";
  return data_.containers[g.xsecs[index].container].id;
}

std::string Model::xsec_parm(std::string_view xsec_id, std::string_view name) const {
  const int c = data_.container_index(xsec_id);
  if (c < 0 || data_.containers[c].role != ContainerRole::kXSec) return "";
  int p = data_.find_any_group(c, name);
  if (p < 0) {
    const ParmContainer& pc = data_.containers[c];
    p = data_.find_any_group(data_.geoms[pc.geom].xsecs[pc.xsec].curve.container, name);
  }
  return p < 0 ? "" : std::string(data_.parms[p].id);
}

std::string Model::find_parm(std::string_view geom_id, std::string_view name, std::string_view group) const {
  const int gi = data_.geom_index(geom_id);
  if (gi < 0) return "";
  const Geom& g = data_.geoms[gi];
  if (const int p = data_.find(g.container, group, name); p >= 0) return std::string(data_.parms[p].id);
  const auto cut = group.rfind('_');
  if (cut == std::string_view::npos || cut + 1 == group.size()) return "";
  const std::string_view digits = group.substr(cut + 1);
  if (digits.size() > 6 || !std::all_of(digits.begin(), digits.end(), [](char ch) { return std::isdigit(ch); }))
    return "";
  const size_t index = std::stoul(std::string(digits));
  if (index >= g.xsecs.size()) return "";
  const std::string_view raw = group.substr(0, cut);
  for (int container : {g.xsecs[index].container, g.xsecs[index].curve.container})
    if (const int p = data_.find(container, raw, name); p >= 0) return std::string(data_.parms[p].id);
  return "";
}

std::optional<double> Model::parm_value(std::string_view parm_id) const {
  const int p = data_.parm_index(parm_id);
  if (p < 0) return std::nullopt;
  return data_.parms[p].value;
}

std::optional<double> Model::set_parm_value(std::string_view parm_id, double value) {
  const int p = data_.parm_index(parm_id);
  if (p < 0) {
    errors_.push(ErrorCode::kInvalidValue, "SetParmVal::Can't Find Parm " + std::string(parm_id));
    return std::nullopt;
  }
  Parm& parm = data_.parms[p];
  if (!std::isfinite(value)) {
    errors_.push(ErrorCode::kInvalidValue, "SetParmVal::Value " + value_text(value) + " for " + parm.path() + " (" +
                                               std::string(parm.id) + ") is not a finite number");
    return parm.value;
  }
  parm.value = parm.limits.clamp(value);
  const ParmContainer& c = data_.containers[parm.container];
  if (c.role == ContainerRole::kXSec && data_.geoms[c.geom].type_name == "Wing") edits_.emplace_back(c.geom, c.xsec);
  return parm.value;
}

}  // namespace orvanta::vsp
