#include "apps/orvanta/case_staging.hpp"
#include "host/base/errors.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace orvanta::app {
namespace {
namespace fs = std::filesystem;

class CaseStagingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("ORVANTA_ASSETS_DIR");
    dir_ = fs::temp_directory_path() / ("orvanta_staging_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

// ParaView opens a case by its .foam file: every staged case has an empty one, mesh cases and
// flow cases on a mesh alike, and the mesh run's clean-up (Allclean.sh) leaves it in place.
TEST_F(CaseStagingTest, EveryStagedCaseHasAnEmptyParaViewFileThatAllcleanKeeps) {
  const fs::path mesh = dir_ / "m1";
  stage_case(mesh.string(), "aircraft_assets", std::nullopt);
  ASSERT_TRUE(fs::is_regular_file(mesh / "case.foam"));
  EXPECT_EQ(fs::file_size(mesh / "case.foam"), 0u);

  fs::create_directories(mesh / "constant/polyMesh");
  std::ofstream(mesh / "constant/polyMesh/points") << "()";
  fs::create_directories(mesh / "plots");
  std::ofstream(mesh / "plots/aircraft_view_x.png") << "png";
  ASSERT_EQ(std::system(("sh " + (mesh / "Allclean.sh").string() + " > /dev/null").c_str()), 0);
  EXPECT_FALSE(fs::exists(mesh / "constant/polyMesh"));  // it did clean
  EXPECT_FALSE(fs::exists(mesh / "plots"));
  EXPECT_TRUE(fs::is_regular_file(mesh / "case.foam"));

  fs::create_directories(mesh / "constant/polyMesh");
  std::ofstream(mesh / "constant/polyMesh/points") << "()";
  const fs::path flow = dir_ / "c1";
  stage_case(flow.string(), "aircraft_assets", mesh.string());
  EXPECT_TRUE(fs::is_regular_file(flow / "constant/polyMesh/points"));
  // The mesh case's dictionaries as its run edited them, for re-meshing a design.
  EXPECT_TRUE(fs::is_regular_file(flow / "mesh_recipe/system/snappyHexMeshDict_no_layer"));
  ASSERT_TRUE(fs::is_regular_file(flow / "case.foam"));
  EXPECT_EQ(fs::file_size(flow / "case.foam"), 0u);
}

// Whole or nothing: a stage that fails after the file was written leaves no folder behind.
TEST_F(CaseStagingTest, AFailedStageLeavesNoCaseFolder) {
  const fs::path no_mesh = dir_ / "m0";
  fs::create_directories(no_mesh);
  const fs::path flow = dir_ / "c1";
  EXPECT_THROW(stage_case(flow.string(), "aircraft_assets", no_mesh.string()), FileNotFoundError);
  EXPECT_FALSE(fs::exists(flow));
}

}  // namespace
}  // namespace orvanta::app
