#include "src/aircraft_generate_cfd_mesh/export_custom_stl.hpp"

#include "host/base/errors.hpp"
#include "host/openvsp/provider.hpp"
#include "host/openvsp/raise_errors.hpp"

#include <filesystem>

namespace orvanta {
namespace fs = std::filesystem;

void export_custom_vsp3_stl(const std::string& vsp3_path, const std::string& stl_path) {
  openvsp::OpenVspApi& api = openvsp::obtain_api();
  api.ClearVSPModel();
  // Read errors are checked together with export errors below.
  api.ReadVSPFile(fs::absolute(vsp3_path).string());
  api.Update();
  api.ExportFile(fs::absolute(stl_path).string(), openvsp::SET_ALL, openvsp::EXPORT_STL);
  openvsp_raise_errors(api, "OpenVSP custom_vsp3 STL export failed");
  if (!fs::is_regular_file(stl_path))
    throw FileNotFoundError("OpenVSP did not create the expected STL file: " + stl_path);
}

}  // namespace orvanta
