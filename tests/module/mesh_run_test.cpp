#include "host/base/errors.hpp"
#include "host/openvsp/engine_api.hpp"
#include "host/openvsp/reference_geometry.hpp"
#include "module/skill_fixture.hpp"
#include "src/aircraft_generate_cfd_mesh/mesh_skill.hpp"
#include "src/design_vars/design_vars.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace orvanta {
namespace {
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// The mesh run on the real geometry engine: a case holding the packaged aircraft whose wing
// is made rectangular with a unit chord, so its mean aerodynamic chord is exactly 1.
class MeshRun : public testing::SkillTest<AircraftGenerateCFDMesh> {
 protected:
  void SetUp() override {
    SkillTest::SetUp();
    engine_ = std::make_unique<openvsp::ScopedProvider>(openvsp::engine_provider());
    const fs::path packaged = fs::path(ORVANTA_SOURCE_DIR) / "assets/aircraft_assets";
    fs::copy_file(packaged / "aircraft.vsp3", in_case("aircraft.vsp3"));
    fs::copy_file(packaged / "vsp_design_vars.json", in_case("vsp_design_vars.json"));
    // Every panel's chords, which the packaged configuration offers only for the inner one.
    std::ofstream(in_case("chords.json")) << R"({"Wing": {"XSec_{1..3}": {"Root_Chord": "", "Tip_Chord": ""}}})";
    apply_vsp_design_var_inputs(in_case("chords.json"), in_case("aircraft.vsp3"),
                                Json{{"Wing:XSec:Root_Chord", 1.0}, {"Wing:XSec:Tip_Chord", 1.0}});
    ASSERT_EQ(read_vsp_reference_geometry(in_case("aircraft.vsp3"))["reference_length"], 1.0);
  }
  std::unique_ptr<openvsp::ScopedProvider> engine_;
};

TEST_F(MeshRun, UnitReferenceLengthGivesTheDocumentedCommandList) {
  touch("run_finished.pid");
  skill_.run();
  EXPECT_FALSE(fs::exists(in_case("run_finished.pid")));
  const Names cmds = commands();
  std::ifstream golden(fs::path(ORVANTA_SOURCE_DIR) / "tests/module/data/mesh_run_unit_chord.txt");
  Names expected;
  for (std::string line; std::getline(golden, line);) expected.push_back(line);
  EXPECT_EQ(cmds, expected);
  EXPECT_EQ(host_->calls()[0]["arguments"]["phase"], "run");
}

TEST_F(MeshRun, SizingLevelsAndMpiFollowTheSettings) {
  set_adv("max_cell_size", 1000.0);
  set_adv("curvature_level", -1);
  skill_.inputs["surface_level"] = "6";
  skill_.inputs["n_cpus"] = 3.9;
  setenv("ORVANTA_CI", "yes", 1);
  skill_.run();
  unsetenv("ORVANTA_CI");
  const Names cmds = commands();
  auto has = [&](const std::string& c) { return std::count(cmds.begin(), cmds.end(), c); };
  EXPECT_EQ(has("sed -i \"s/^Nx.*/Nx 1;/\" system/blockMeshDict >> log_mesh.txt 2>&1"), 1);
  EXPECT_EQ(has("sed -i \"s/^Ny.*/Ny 1;/\" system/blockMeshDict >> log_mesh.txt 2>&1"), 1);
  EXPECT_EQ(has("sed -i \"s/^[[:space:]]*lineLevel.*/    lineLevel 7;/\" system/snappyHexMeshDict >> log_mesh.txt 2>&1"), 2);
  EXPECT_EQ(has("sed -i \"s/^[[:space:]]*curvLevel.*/\\/\\/ curvLevel disabled;/\" system/snappyHexMeshDict >> log_mesh.txt 2>&1"), 2);
  EXPECT_EQ(has("sed -i \"s/^[[:space:]]*curvatureLevel.*/                \\/\\/ curvatureLevel disabled;/\" system/snappyHexMeshDict >> log_mesh.txt 2>&1"), 2);
  EXPECT_EQ(has("mpirun --oversubscribe -np 3 snappyHexMesh -overwrite -parallel >> log_mesh.txt 2>&1"), 2);

  host_->clear();
  skill_.inputs["local_refine_box"] = Json::parse("[[0, 0, -1], [3, 2, 1]]");
  skill_.run();
  const Names boxed = commands();
  const auto at = std::find(boxed.begin(), boxed.end(), "rm -rf processor* >> log_mesh.txt 2>&1");
  ASSERT_NE(at, boxed.end());
  EXPECT_EQ(*(at + 1), "cp system/topoSetDict_refine_box system/topoSetDict >> log_mesh.txt 2>&1");
  EXPECT_EQ(boxed.size(), cmds.size() + 5);

  set_adv("max_cell_size", 0);
  host_->clear();
  EXPECT_THROW(skill_.run(), ValueError);
  EXPECT_TRUE(host_->calls().empty());
  set_adv("max_cell_size", nullptr);
  skill_.inputs["local_refine_box"] = Json::parse("[[0, 0], [1, 1]]");
  EXPECT_THROW(skill_.run(), ValueError);
  EXPECT_TRUE(host_->calls().empty());
}

}  // namespace
}  // namespace orvanta
