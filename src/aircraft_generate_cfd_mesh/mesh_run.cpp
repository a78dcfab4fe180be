#include "host/base/errors.hpp"
#include "host/openvsp/reference_geometry.hpp"
#include "src/aircraft_generate_cfd_mesh/background_mesh.hpp"
#include "src/aircraft_generate_cfd_mesh/mesh_skill.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace orvanta {
namespace fs = std::filesystem;
namespace {

const std::string kToMeshLog = " >> log_mesh.txt 2>&1";

std::string sed_snappy(const std::string& keyword, const std::string& replacement) {
  return "sed -i \"s/^[[:space:]]*" + keyword + ".*/" + replacement + "/\" system/snappyHexMeshDict" + kToMeshLog;
}

std::string sed_block(const std::string& pattern, const std::string& replacement) {
  return "sed -i \"s/^" + pattern + ".*/" + replacement + "/\" system/blockMeshDict" + kToMeshLog;
}

// Integer part of a real, as the integer conversion truncates toward zero.
long long truncated(double v) {
  if (!std::isfinite(v)) throw ValueError("cannot convert float " + real_text(v) + " to integer");
  return static_cast<long long>(std::trunc(v));
}

struct MeshSizing {
  double farfield_extent = 0, x_min = 0, x_max = 0;
  long long nx = 1, ny = 1;
  long long surface_level = 0, line_level = 0, curvature_level = 0, n_cpus = 0, prism_layer = 0,
            n_layer_outer_iter = 0;
  std::string mpirun;
};

}  // namespace

void AircraftGenerateCFDMesh::run() {
  const fs::path marker = case_path("run_finished.pid");
  if (fs::exists(marker)) fs::remove(marker);

  const auto local_refine_commands = _build_box_local_refine_commands(input_value(inputs, "local_refine_box"), false);
  const std::string geometry_command = "python script_generate_geometry.py";

  // Sizing from the wing's reference length: a far field of 40 lengths, shifted downstream
  // by half its extent; background cells of max_cell_size (one reference length by default).
  MeshSizing s;
  const Json reference = read_vsp_reference_geometry(case_path("aircraft.vsp3"), "Wing");
  const double reference_length = to_real(reference.at("reference_length"));
  const Json& max_cell = adv_value(adv_params, "max_cell_size");
  const double max_cell_size = max_cell.is_null() ? reference_length : to_real(max_cell);
  if (max_cell_size == 0.0) throw ValueError("float division by zero");
  const BackgroundMesh background = background_mesh(reference_length, max_cell_size);
  s.farfield_extent = background.extent;
  s.nx = truncated(background.nx);
  s.ny = truncated(background.ny);
  const double x_shift_fraction = 0.5;
  s.x_min = -s.farfield_extent + x_shift_fraction * s.farfield_extent;
  s.x_max = s.farfield_extent + x_shift_fraction * s.farfield_extent;
  s.surface_level = to_int(input_value(inputs, "surface_level"));
  const Json& line = adv_value(adv_params, "line_level");
  s.line_level = line.is_null() ? s.surface_level + 1 : to_int(line);
  const Json& curvature = adv_value(adv_params, "curvature_level");
  s.curvature_level = curvature.is_null() ? s.surface_level + 2 : to_int(curvature);
  s.n_cpus = to_int(input_value(inputs, "n_cpus"));
  s.prism_layer = to_int(input_value(inputs, "n_boundary_layers"));
  s.n_layer_outer_iter = to_int(adv_value(adv_params, "n_layer_outer_iter"));
  const char* ci = std::getenv("ORVANTA_CI");
  s.mpirun = std::string(ci && *ci ? "mpirun --oversubscribe -np " : "mpirun -np ") + std::to_string(s.n_cpus);

  std::vector<std::string> curvature_commands;
  if (s.curvature_level == -1) {
    curvature_commands = {sed_snappy("curvLevel", "\\/\\/ curvLevel disabled;"),
                          sed_snappy("curvatureLevel", "                \\/\\/ curvatureLevel disabled;")};
  } else {
    const std::string c = std::to_string(s.curvature_level);
    curvature_commands = {sed_snappy("curvLevel", "    curvLevel " + c + ";"),
                          sed_snappy("curvatureLevel", "                curvatureLevel (10 0 " + c + " -1);")};
  }

  const std::vector<std::string> geometry_commands = {
      "./Allclean.sh > log_geometry.txt 2>&1",
      geometry_command + " >> log_geometry.txt 2>&1",
      "cp aircraft.stl constant/triSurface/aircraft.stl > log_mesh.txt 2>&1",
  };

  const std::string surface = sed_snappy("surfaceLevel", "    surfaceLevel " + std::to_string(s.surface_level) + ";");
  const std::string line_cmd = sed_snappy("lineLevel", "    lineLevel " + std::to_string(s.line_level) + ";");
  const std::string outer_iter =
      sed_snappy("nLayerOuterIter", "    nLayerOuterIter " + std::to_string(s.n_layer_outer_iter) + ";");
  const std::string snappy = s.mpirun + " snappyHexMesh -overwrite -parallel" + kToMeshLog;

  std::vector<std::string> mesh_commands = {
      "cp system/snappyHexMeshDict_no_layer system/snappyHexMeshDict" + kToMeshLog,
      sed_block("Lx ", "Lx " + real_text(s.farfield_extent) + ";"),
      sed_block("LxNeg", "LxNeg " + real_text(-s.farfield_extent) + ";"),
      sed_block("XMax", "XMax " + real_text(s.x_max) + ";"),
      sed_block("XMin", "XMin " + real_text(s.x_min) + ";"),
      sed_block("Nx", "Nx " + std::to_string(s.nx) + ";"),
      sed_block("Ny", "Ny " + std::to_string(s.ny) + ";"),
      "sed -i \"s/^numberOfSubdomains.*/numberOfSubdomains     " + std::to_string(s.n_cpus) +
          ";/\" system/decomposeParDict" + kToMeshLog,
      surface,
      line_cmd,
      curvature_commands[0],
      curvature_commands[1],
      outer_iter,
      "blockMesh" + kToMeshLog,
      "surfaceFeatureExtract" + kToMeshLog,
      "rm -rf 0" + kToMeshLog,
      "decomposePar -force" + kToMeshLog,
      snappy,
      "cp system/snappyHexMeshDict system/snappyHexMeshDict_no_layer" + kToMeshLog,
      "cp system/snappyHexMeshDict_layer system/snappyHexMeshDict" + kToMeshLog,
      surface,
      line_cmd,
      curvature_commands[0],
      curvature_commands[1],
      sed_snappy("prismLayer", "    prismLayer " + std::to_string(s.prism_layer) + ";"),
      outer_iter,
      snappy,
      "reconstructParMesh -constant" + kToMeshLog,
      "rm -rf processor*" + kToMeshLog,
  };
  mesh_commands.insert(mesh_commands.end(), local_refine_commands.begin(), local_refine_commands.end());
  for (const char* c : {"createPatch -overwrite", "renumberMesh -overwrite", "rm -rf VTK",
                        "foamToVTK -latestTime -patches '(aircraft sym)' -one-boundary"})
    mesh_commands.push_back(c + kToMeshLog);
  mesh_commands.push_back("mv VTK/*/boundary.vtp VTK/" + kToMeshLog + " || true");
  mesh_commands.push_back("cp -r 0_orig 0" + kToMeshLog);

  std::vector<std::string> commands = geometry_commands;
  commands.insert(commands.end(), mesh_commands.begin(), mesh_commands.end());
  commands.push_back("touch run_finished.pid");
  _execute_commands(commands, {.phase = "run"});
}

Json AircraftGenerateCFDMesh::review_run() {
  if (!fs::is_regular_file(case_path("run_finished.pid")))
    return _review_pending_run(
        "Aircraft geometry and mesh generation are still running in the background. Progress is being written to "
        "log_geometry.txt and log_mesh.txt. Call review_run again later to poll its status.");

  std::vector<std::string> missing;
  for (const char* rel : {"aircraft.stl", "aircraft.vsp3", "constant/polyMesh", "VTK/boundary.vtp"})
    if (!fs::exists(case_path(rel))) missing.push_back(case_path(rel));
  if (!missing.empty()) {
    Json r = phase_result("review_run", "fail");
    r["note"] = "Aircraft geometry/mesh generation did not produce the required files: " + list_notation(missing) +
                ". Check log_geometry.txt and log_mesh.txt for details.";
    return r;
  }
  return phase_result("review_run", "pass");
}

}  // namespace orvanta
