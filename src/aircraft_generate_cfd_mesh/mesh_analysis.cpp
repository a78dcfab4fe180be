#include "host/base/json_file.hpp"
#include "src/aircraft_generate_cfd_mesh/mesh_skill.hpp"

#include <filesystem>
#include <set>

namespace orvanta {
namespace fs = std::filesystem;
namespace {

const std::vector<std::string> kGeometryPlots = {"plots/aircraft_view_x.png", "plots/aircraft_view_y.png",
                                                 "plots/aircraft_view_z.png", "plots/aircraft_view_iso.png"};
const std::vector<std::string> kMeshPlots = {"plots/aircraft_mesh_view_x.png", "plots/aircraft_mesh_view_y.png",
                                             "plots/aircraft_mesh_view_z.png", "plots/aircraft_mesh_view_3d.png"};
const std::vector<std::string> kRequiredOutputs = {"aircraft.stl", "aircraft.vsp3", "constant/polyMesh",
                                                   "VTK/boundary.vtp"};

}  // namespace

void AircraftGenerateCFDMesh::analyze() {
  _execute_commands(
      {
          "checkMesh >> log_mesh.txt 2>&1 || exit 200",
          "python script_plot_results.py -mode aircraft_plot_geometry -case_dir . -geometry_file aircraft.stl > "
          "log_geometry_plot.txt 2>&1",
          "python script_plot_results.py -mode aircraft_plot_mesh -case_dir . -mesh_file VTK/boundary.vtp "
          "-camera_scale 0.9 > log_mesh_plot.txt 2>&1",
          "python script_workflow_helpers.py write-mesh-analysis --log-file log_mesh.txt --metrics-file "
          "mesh_analysis_metrics.json --analysis-file mesh_analysis.json",
      },
      {.run_mode = "Direct", .detached = false, .phase = "analyze"});

  std::vector<std::string> plots = kGeometryPlots;
  plots.insert(plots.end(), kMeshPlots.begin(), kMeshPlots.end());
  _launch_html_gallery("mesh.html", plots, {.port = 8001, .plot_log_filename = "log_mesh_plot.txt",
                                            .server_log_filename = "log_html.txt"});
  _launch_trame_view({"VTK/boundary.vtp"}, {.port = 8002, .server_log_filename = "log_trame.txt"});
}

Json AircraftGenerateCFDMesh::review_analyze() {
  auto fail = [this](const std::string& note) {
    Json r = phase_result("review_analyze", "fail");
    r["note"] = note;
    return r;
  };

  const std::string metrics_path = case_path("mesh_analysis_metrics.json");
  if (!fs::is_regular_file(metrics_path)) return fail("mesh_analysis_metrics.json was not found after the analyze phase.");
  const Json metrics = read_json_object_file(metrics_path);

  const std::string analysis_path = case_path("mesh_analysis.json");
  if (!fs::is_regular_file(analysis_path)) return fail("mesh_analysis.json was not found after the analyze phase.");
  const Json analysis = read_json_object_file(analysis_path);

  const Json outputs = analysis.contains("outputs") ? analysis.at("outputs") : Json::array();
  std::set<std::string> found;
  if (outputs.is_array())
    for (const auto& o : outputs)
      if (o.is_string()) found.insert(o.get<std::string>());
  for (const auto& required : kRequiredOutputs)
    if (!found.count(required))
      return fail("Mesh analysis is missing required outputs. Found: " + list_notation(outputs));

  const std::string case_name = fs::path(case_dir).filename().string();
  auto existing = [&](const std::vector<std::string>& candidates) {
    Json names = Json::array();
    for (const auto& rel : candidates)
      if (fs::is_regular_file(case_path(rel))) names.push_back((fs::path(case_name) / rel).string());
    return names;
  };
  const Json geometry_plots = existing(kGeometryPlots);
  if (geometry_plots.size() < kGeometryPlots.size())
    return fail("Expected 4 aircraft geometry plots, found " + std::to_string(geometry_plots.size()) + ".");
  const Json mesh_plots = existing(kMeshPlots);
  if (mesh_plots.size() < kMeshPlots.size())
    return fail("Expected 4 aircraft mesh plots, found " + std::to_string(mesh_plots.size()) + ".");

  const auto [html_running, html_url] = _review_html_gallery("mesh.html", 8001);
  const auto [trame_running, trame_url] = _review_trame_view(8002);
  const Json quality = _assess_mesh_quality(metrics, adv_params);

  Json review = phase_result("review_analyze", quality.at("status").get<std::string>());
  for (const char* key : {"n_cells", "max_nonorthogonality", "avg_nonorthogonality", "severe_nonorthogonal_faces",
                          "max_skewness", "max_aspect_ratio"})
    review[key] = metrics.contains(key) ? metrics.at(key) : Json();
  review["mesh_quality_checks"] = quality.at("checks");
  Json plots = geometry_plots;
  plots.insert(plots.end(), mesh_plots.begin(), mesh_plots.end());
  review["plots"] = plots;
  review["geometry_plots"] = geometry_plots;
  review["mesh_plots"] = mesh_plots;
  review["html_url"] = html_url;
  review["trame_url"] = trame_url;
  if (review["status"] != "pass") review["note"] = quality.at("note");
  return review;
}

}  // namespace orvanta
