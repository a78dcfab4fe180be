#include "host/base/errors.hpp"
#include "host/openvsp/provider.hpp"
#include "module/skill_fixture.hpp"
#include "src/aircraft_generate_cfd_mesh/export_custom_stl.hpp"
#include "src/aircraft_generate_cfd_mesh/mesh_skill.hpp"
#include "src/aircraft_agent/aircraft_agent.hpp"
#include "src/aircraft_generate_cfd_mesh/custom_aircraft.hpp"

#include <gtest/gtest.h>

namespace orvanta {
namespace {
namespace fs = std::filesystem;
using Mesh = testing::SkillTest<AircraftGenerateCFDMesh>;
using Names = std::vector<std::string>;

using Agent = testing::ModuleTest;

TEST_F(Agent, RegistersTheThreeSkillsInWorkflowOrderWithoutAGeometryEngine) {
  openvsp::ScopedProvider none(openvsp::unavailable_provider());
  AircraftAgent agent;
  EXPECT_EQ(agent.name(), "aircraft");
  ASSERT_EQ(agent.skills().size(), 3u);
  EXPECT_EQ(agent.skills()[0]->name(), "generate-cfd-mesh");
  EXPECT_EQ(agent.skills()[1]->name(), "run-cfd-simulation");
  EXPECT_EQ(agent.skills()[2]->name(), "run-aero-optimization");
  EXPECT_FALSE(agent.skills()[0]->prereq_skill());
  EXPECT_EQ(agent.skills()[1]->prereq_skill(), "generate-cfd-mesh");
  EXPECT_EQ(agent.skills()[2]->asset_package(), "aircraft_assets");
  EXPECT_THROW(agent.skills()[0]->get_input_info(), ImportError);
  EXPECT_EQ(agent.skills()[1]->get_input_info().size(), 5u);
  EXPECT_EQ(agent.skills()[2]->get_input_info()["mach_number"]["default"], "$prereq.mach_number");
}

TEST_F(Mesh, PublishesStaticInputsFirstThenDesignVariables) {
  const Json info = skill_.get_input_info();
  Names keys;
  for (const auto& [k, v] : info.items()) keys.push_back(k);
  EXPECT_EQ(Names(keys.begin(), keys.begin() + 5),
            (Names{"custom_vsp3", "n_cpus", "surface_level", "n_boundary_layers", "local_refine_box"}));
  EXPECT_EQ(keys[5], "Wing:UpperCoeff:Au");
  EXPECT_EQ(info["local_refine_box"].dump(),
            R"({"type":"list[list[float]]","default":null,"description":"Optional two-corner local refinement box `[[x0, y0, z0], [x1, y1, z1]]`. Leave unset for no local refinement."})");
  EXPECT_EQ(info["n_cpus"]["default"], 2);
  EXPECT_EQ(skill_.input_info().size(), 5u);
}

TEST_F(Mesh, PrepareStagesTheUsersModelOnlyWhenAskedAndAppliesDesignVariables) {
  touch("aircraft.vsp3", "packaged");
  touch("vsp_design_vars.json", testing::kFakeDesignVars);
  write("work/aircraft.vsp3", "user model");
  write("work/vsp_design_vars.json", R"({"Fuselage": {"Design": {"Length": "d"}}})");

  skill_.inputs["custom_vsp3"] = "0";
  skill_.prepare();
  EXPECT_EQ(read(in_case("aircraft.vsp3")), "packaged");  // nothing set, nothing written

  skill_.inputs["custom_vsp3"] = "1";
  skill_.inputs["Fuselage:Design:Length"] = 14;
  skill_.prepare();
  EXPECT_EQ(read(in_case("vsp_design_vars.json")), R"({"Fuselage": {"Design": {"Length": "d"}}})");
  EXPECT_DOUBLE_EQ(vsp_.value("Fuselage", "Design", "Length"), 14.0);
  EXPECT_EQ(vsp_.count("WriteVSPFile " + in_case("aircraft.vsp3")), 1);

  skill_.inputs["custom_vsp3"] = "on";
  EXPECT_THROW(skill_.prepare(), ValueError);

  fs::remove(in_case("aircraft.vsp3"));
  EXPECT_EQ(skill_.review_prepare()["note"], "Template VSP3 file was not found: " + in_case("aircraft.vsp3"));
  touch("aircraft.vsp3");
  EXPECT_EQ(skill_.review_prepare().size(), 3u);
}

TEST_F(Mesh, StagingTheUsersFilesFailsWithTheExactSentences) {
  const std::string case_dir = (work_ / "case1").string();
  try {
    copy_custom_aircraft_inputs(case_dir);
    FAIL();
  } catch (const FileNotFoundError& e) {
    EXPECT_EQ(std::string(e.what()), "custom_vsp3 is enabled but the user geometry was not found: " +
                                         (work_ / "aircraft.vsp3").string() +
                                         ". Rename your OpenVSP file to aircraft.vsp3 and place it in the working "
                                         "directory.");
  }
  EXPECT_TRUE(fs::is_empty(case_dir));
  fs::create_directories(work_ / "aircraft.vsp3");  // a directory counts as missing
  EXPECT_THROW(copy_custom_aircraft_inputs(case_dir), FileNotFoundError);
  fs::remove(work_ / "aircraft.vsp3");

  const auto model = write("work/aircraft.vsp3", "user");
  fs::permissions(model, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::last_write_time(model, fs::last_write_time(model) - std::chrono::hours(5));
  try {
    copy_custom_aircraft_inputs(case_dir);
    FAIL();
  } catch (const FileNotFoundError& e) {
    EXPECT_EQ(std::string(e.what()), "custom_vsp3 is enabled but the design-variable file was not found: " +
                                         (work_ / "vsp_design_vars.json").string() +
                                         ". Place vsp_design_vars.json in the working directory.");
  }
  EXPECT_EQ(read(in_case("aircraft.vsp3")), "user");
  EXPECT_EQ(fs::last_write_time(in_case("aircraft.vsp3")), fs::last_write_time(model));
  EXPECT_EQ(fs::status(in_case("aircraft.vsp3")).permissions(), fs::status(model).permissions());
}

TEST_F(Mesh, ExportingAUsersModelChecksErrorsThenTheFile) {
  const auto model = write("work/aircraft.vsp3", "m");
  const std::string stl = (work_ / "out.stl").string();
  export_custom_vsp3_stl(model.string(), stl);
  EXPECT_EQ(vsp_.operations(), (Names{"ClearVSPModel", "ReadVSPFile", "Update", "ExportFile"}));
  EXPECT_EQ(vsp_.calls[3], "ExportFile " + stl + " 0 2");
  vsp_.fail_reads = true;
  EXPECT_THROW(export_custom_vsp3_stl(model.string(), stl), GeometryError);
  vsp_.fail_reads = false;
  vsp_.template_model.clear();  // the fake writes nothing for an empty model
  try {
    export_custom_vsp3_stl(model.string(), (work_ / "none.stl").string());
    FAIL();
  } catch (const FileNotFoundError& e) {
    EXPECT_EQ(std::string(e.what()), "OpenVSP did not create the expected STL file: " + (work_ / "none.stl").string());
  }
}

TEST_F(Mesh, ReviewRunListsMissingOutputsOnceTheMarkerExists) {
  EXPECT_EQ(skill_.review_run()["note"],
            "Aircraft geometry and mesh generation are still running in the background. Progress is being written to "
            "log_geometry.txt and log_mesh.txt. Call review_run again later to poll its status.");
  touch("run_finished.pid");
  touch("aircraft.stl");
  touch("aircraft.vsp3");
  fs::create_directories(in_case("constant/polyMesh"));  // empty still counts
  EXPECT_EQ(skill_.review_run()["note"], "Aircraft geometry/mesh generation did not produce the required files: ['" +
                                             in_case("VTK/boundary.vtp") +
                                             "']. Check log_geometry.txt and log_mesh.txt for details.");
  touch("VTK/boundary.vtp");
  EXPECT_EQ(skill_.review_run()["status"], "pass");
}

class MeshReview : public Mesh {
 protected:
  void SetUp() override {
    Mesh::SetUp();
    touch("mesh_analysis_metrics.json", R"({"n_cells": 48000, "max_nonorthogonality": 60.1, "avg_nonorthogonality": 8.2,
        "severe_nonorthogonal_faces": 0, "max_skewness": 2.2, "max_aspect_ratio": 310.0})");
    touch("mesh_analysis.json",
          R"({"outputs": ["VTK/boundary.vtp", "aircraft.stl", "constant/polyMesh", "aircraft.vsp3", "log_mesh.txt"]})");
    for (const char* v : {"x", "y", "z", "iso"}) touch(std::string("plots/aircraft_view_") + v + ".png");
    for (const char* v : {"x", "y", "z", "3d"}) touch(std::string("plots/aircraft_mesh_view_") + v + ".png");
  }
};

TEST_F(MeshReview, PassingMeshReportsFifteenKeysAndTheViewers) {
  const Json r = skill_.review_analyze();
  EXPECT_EQ(r["status"], "pass");
  EXPECT_EQ(r.size(), 15u);
  EXPECT_EQ(r["max_skewness"], 2.2);
  EXPECT_EQ(r["mesh_plots"][3], "case1/plots/aircraft_mesh_view_3d.png");
  EXPECT_EQ(r["plots"].size(), 8u);
  EXPECT_EQ(r["html_url"], "http://127.0.0.1:8001/mesh.html");
  EXPECT_EQ(r["mesh_quality_checks"]["max_nonorthogonality"]["verdict"], "pass");
}

TEST_F(MeshReview, WarningsCarryTheGradingNoteAndShortfallsFailEarly) {
  touch("mesh_analysis_metrics.json", R"({"max_nonorthogonality": 70, "severe_nonorthogonal_faces": 0,
      "max_skewness": 2, "max_aspect_ratio": 10, "n_cells": 100})");
  Json r = skill_.review_analyze();
  EXPECT_EQ(r["status"], "warning");
  EXPECT_EQ(r["n_cells"], 100);
  EXPECT_TRUE(r["avg_nonorthogonality"].is_null());
  EXPECT_EQ(r["note"], "max_nonorthogonality = 70 is above its pass limit 65.");

  fs::remove(in_case("plots/aircraft_mesh_view_y.png"));
  r = skill_.review_analyze();
  EXPECT_EQ(r.dump(), R"({"phase":"review_analyze","skill":"generate-cfd-mesh","status":"fail","note":"Expected 4 aircraft mesh plots, found 3."})");
  touch("mesh_analysis.json", R"({"outputs": ["aircraft.stl", "constant/polyMesh"]})");
  EXPECT_EQ(skill_.review_analyze()["note"],
            "Mesh analysis is missing required outputs. Found: ['aircraft.stl', 'constant/polyMesh']");
  touch("mesh_analysis.json", R"({"other": 1})");
  EXPECT_EQ(skill_.review_analyze()["note"], "Mesh analysis is missing required outputs. Found: []");
  touch("mesh_analysis.json", "[1, 2]");
  EXPECT_THROW(skill_.review_analyze(), FormatError);
  fs::remove(in_case("mesh_analysis_metrics.json"));
  EXPECT_EQ(skill_.review_analyze()["note"], "mesh_analysis_metrics.json was not found after the analyze phase.");
}

TEST_F(Mesh, AnalyzeChecksTheMeshDrawsFiguresAndStartsBothViewers) {
  skill_.analyze();
  const Json& calls = host_->calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(commands()[0], "checkMesh >> log_mesh.txt 2>&1 || exit 200");
  EXPECT_EQ(commands()[3], "python script_workflow_helpers.py write-mesh-analysis --log-file log_mesh.txt "
                           "--metrics-file mesh_analysis_metrics.json --analysis-file mesh_analysis.json");
  EXPECT_EQ(calls[0]["arguments"]["run_mode"], "Direct");
  EXPECT_EQ(calls[0]["arguments"]["detached"], false);
  EXPECT_EQ(calls[1]["arguments"]["figures"][4], "plots/aircraft_mesh_view_x.png");
  EXPECT_EQ(calls[1]["arguments"]["plot_log_filename"], "log_mesh_plot.txt");
  EXPECT_EQ(calls[2]["arguments"]["server_log_filename"], "log_trame.txt");
}

}  // namespace
}  // namespace orvanta
