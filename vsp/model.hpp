#pragma once
// One OpenVSP model in memory: read from a .vsp3 file, looked up and changed parameter by
// parameter, updated, written back and exported as STL. Failures of read, write, update and
// export go to the model's error queue (see error_queue.hpp); lookups answer with an empty id
// when a component, cross-section or parameter is absent.

#include "vsp/error_queue.hpp"
#include "vsp/geometry.hpp"
#include "vsp/model_data.hpp"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pugi {
class xml_document;
}

namespace orvanta::vsp {

class Model {
 public:
  Model();
  ~Model();
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;

  // Empties the model; the error queue keeps its entries.
  void clear();
  bool empty() const;

  // Replaces the model with the file's content, updated. On failure the model is empty and
  // the reason is queued.
  bool read_file(const std::string& path);
  // Same for text already in memory; `label` names it in messages.
  bool read_text(std::string_view text, const std::string& label);
  // Saves the model, keeping every element the engine does not interpret; atomic.
  bool write_file(const std::string& path);
  // Recomputes what follows from the parameters set since the last update.
  void update();
  // Writes the components of set `set` (0: all) as one ASCII STL solid; atomic.
  struct ExportSummary {
    size_t components = 0, triangles = 0;
  };
  bool export_stl(const std::string& path, int set, const std::string& solid_name = "",
                  ExportSummary* summary = nullptr);

  std::vector<std::string> find_geoms_with_name(std::string_view name) const;
  std::string xsec_surf(std::string_view geom_id, int index) const;
  std::string xsec(std::string_view xsec_surf_id, int index) const;
  // First parameter called `name` in the cross-section, else in its curve.
  std::string xsec_parm(std::string_view xsec_id, std::string_view name) const;
  // A component's parameter by name and group. Cross-section parameters are found under their
  // group with the cross-section's index appended ("XSec_1", "XSecCurve_0", "UpperCoeff_1").
  std::string find_parm(std::string_view geom_id, std::string_view name, std::string_view group) const;
  std::optional<double> parm_value(std::string_view parm_id) const;
  // Stores the value clamped to the parameter's limits and returns what was stored;
  // an unknown id or a value that is not finite is refused and queued.
  std::optional<double> set_parm_value(std::string_view parm_id, double value);

  const ModelData& data() const { return data_; }
  // The drawable components; GeometryBuildError when one cannot be drawn.
  std::vector<ComponentGeometry> geometry(int set = 0, size_t max_triangles = kMaxTriangles) const;
  ErrorQueue& errors() { return errors_; }

 private:
  bool adopt(std::unique_ptr<pugi::xml_document> doc, const std::string& label);
  std::vector<EngineError> run_update();

  std::unique_ptr<pugi::xml_document> doc_;
  ModelData data_;
  ErrorQueue errors_;
  std::vector<std::pair<int, int>> edits_;  // (component, cross-section) in the order they were set
};

}  // namespace orvanta::vsp
