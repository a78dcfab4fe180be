#include "host/openvsp/engine_api.hpp"

#include "vsp/model.hpp"

namespace orvanta::openvsp {
namespace {

// The twelve operations on the geometry engine's model; like OpenVSP, one model per process.
class EngineApi : public OpenVspApi {
 public:
  void ClearVSPModel() override { model_.clear(); }
  void ReadVSPFile(const std::string& path) override { model_.read_file(path); }
  void Update() override { model_.update(); }
  std::vector<std::string> FindGeomsWithName(const std::string& name) override {
    return model_.find_geoms_with_name(name);
  }
  std::string GetXSecSurf(const std::string& geom_id, int index) override { return model_.xsec_surf(geom_id, index); }
  std::string GetXSec(const std::string& xsec_surf_id, int xsec_index) override {
    return model_.xsec(xsec_surf_id, xsec_index);
  }
  std::string GetXSecParm(const std::string& xsec_id, const std::string& name) override {
    return model_.xsec_parm(xsec_id, name);
  }
  std::string FindParm(const std::string& geom_id, const std::string& name, const std::string& group) override {
    return model_.find_parm(geom_id, name, group);
  }
  double GetParmVal(const std::string& parm_id) override {
    if (const auto v = model_.parm_value(parm_id)) return *v;
    model_.errors().push(vsp::ErrorCode::kInvalidValue, "GetParmVal::Can't Find Parm " + parm_id);
    return 0.0;
  }
  double SetParmVal(const std::string& parm_id, double value) override {
    return model_.set_parm_value(parm_id, value).value_or(0.0);
  }
  void WriteVSPFile(const std::string& path) override { model_.write_file(path); }
  void ExportFile(const std::string& path, int set, int file_type) override {
    if (file_type != EXPORT_STL) {
      model_.errors().push(vsp::ErrorCode::kExportFailure,
                           "ExportFile::Failure exporting " + path + ": file type " + std::to_string(file_type) +
                               " is not supported; only STL (" + std::to_string(EXPORT_STL) + ") is");
      return;
    }
    model_.export_stl(path, set);
  }
  int GetNumTotalErrors() override { return model_.errors().size(); }
  std::vector<ErrorRecord> PopAllErrors() override {
    std::vector<ErrorRecord> out;
    for (auto& e : model_.errors().pop_all()) out.push_back({static_cast<int>(e.code), std::move(e.text)});
    return out;
  }

 private:
  vsp::Model model_;
};

}  // namespace

Provider engine_provider() {
  return []() -> OpenVspApi& {
    static EngineApi api;
    return api;
  };
}

}  // namespace orvanta::openvsp
