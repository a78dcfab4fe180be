#include "src/aircraft_generate_cfd_mesh/custom_aircraft.hpp"

#include "host/base/errors.hpp"

#include <filesystem>

namespace orvanta {
namespace fs = std::filesystem;
namespace {

// Copies through a temporary file and a rename, so the case never holds half a file, and
// keeps the source's modification time and permission bits.
void copy_keeping_metadata(const fs::path& source, const fs::path& target) {
  const fs::path tmp = target.parent_path() / ("." + target.filename().string() + ".staging");
  try {
    fs::copy_file(source, tmp, fs::copy_options::overwrite_existing);
    fs::permissions(tmp, fs::status(source).permissions(), fs::perm_options::replace);
    fs::last_write_time(tmp, fs::last_write_time(source));
    fs::rename(tmp, target);
  } catch (const fs::filesystem_error& e) {
    std::error_code ignored;
    fs::remove(tmp, ignored);
    throw OSError(e.what());
  }
}

}  // namespace

void copy_custom_aircraft_inputs(const std::string& case_dir) {
  // The path is taken as passed: a relative case directory has a relative parent.
  const fs::path work_dir = fs::path(case_dir).parent_path();

  const fs::path model = work_dir / "aircraft.vsp3";
  if (!fs::is_regular_file(model))
    throw FileNotFoundError("custom_vsp3 is enabled but the user geometry was not found: " + model.string() +
                            ". Rename your OpenVSP file to aircraft.vsp3 and place it in the working directory.");
  copy_keeping_metadata(model, fs::path(case_dir) / "aircraft.vsp3");

  const fs::path config = work_dir / "vsp_design_vars.json";
  if (!fs::is_regular_file(config))
    throw FileNotFoundError("custom_vsp3 is enabled but the design-variable file was not found: " + config.string() +
                            ". Place vsp_design_vars.json in the working directory.");
  copy_keeping_metadata(config, fs::path(case_dir) / "vsp_design_vars.json");
}

}  // namespace orvanta
