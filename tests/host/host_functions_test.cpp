#include "host/base/errors.hpp"
#include "host/functions/mesh_quality.hpp"
#include "host/functions/pressure_profile.hpp"
#include "host/functions/refine_box.hpp"
#include "host/functions/simulation_log.hpp"
#include "host/functions/solver.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>

namespace orvanta {
namespace {
namespace fs = std::filesystem;

TEST(SolverName, SwitchesToTransonicSolverAtTheBoundary) {
  EXPECT_EQ(resolve_solver_name("DASimpleFoam", 0.3, "DAHisaFoam", 0.6), "DASimpleFoam");
  EXPECT_EQ(resolve_solver_name("DASimpleFoam", 0.6, "DAHisaFoam", 0.6), "DAHisaFoam");
  EXPECT_EQ(resolve_solver_name("DARhoSimpleFoam", "0.85", "DAHisaFoam", 0.6), "DAHisaFoam");
  EXPECT_EQ(resolve_solver_name(nullptr, 0.3, "DAHisaFoam", 0.6), "DARhoSimpleFoam");
  EXPECT_EQ(resolve_solver_name("", 0.3, "DAHisaFoam", 0.6), "DARhoSimpleFoam");
  EXPECT_EQ(resolve_solver_name("DASimpleFoam", 0.9, "DAHisaFoam", nullptr), "DASimpleFoam");
  EXPECT_THROW(resolve_solver_name("pimpleFoam", 0.3, "DAHisaFoam", 0.6), ValueError);
  EXPECT_THROW(resolve_solver_name("DASimpleFoam", "fast", "DAHisaFoam", 0.6), ValueError);
}

TEST(PressureProfile, ReferenceValuesComeFromSeaLevelAtmosphere) {
  const Json r = compute_pressure_profile_reference_values(0.3);
  EXPECT_EQ(r.begin().key(), "reference_pressure");
  EXPECT_DOUBLE_EQ(r["reference_pressure"].get<double>(), 101325.0);
  EXPECT_NEAR(r["u0"].get<double>(), 0.3 * 340.294, 0.01);
  // q = rho u0^2 / 2 with rho = p / (R T)
  const double rho = 101325.0 / (287.05 * 288.15);
  EXPECT_NEAR(r["pressure_coefficient_scale"].get<double>(), 0.5 * rho * std::pow(r["u0"].get<double>(), 2), 1e-6);
  EXPECT_THROW(compute_pressure_profile_reference_values(0.0), ValueError);
  EXPECT_THROW(compute_pressure_profile_reference_values(-0.2), ValueError);
}

TEST(PressureProfile, SuffixesAreStableFileSafeAndDistinct) {
  EXPECT_EQ(pressure_profile_plot_suffixes(Json::array({0.25, 0.5, 1})),
            (std::vector<std::string>{"y0p25", "y0p5", "y1p0"}));
  EXPECT_EQ(pressure_profile_plot_suffixes(Json::array({-0.5, 1e-05, "0.75"})),
            (std::vector<std::string>{"ym0p5", "y1em05", "y0p75"}));
  EXPECT_TRUE(pressure_profile_plot_suffixes(nullptr).empty());
  EXPECT_TRUE(pressure_profile_plot_suffixes(Json::array()).empty());
  std::set<std::string> seen;
  for (double f : {0.1, 0.01, 0.001, 1.1, 11.0, 0.11, 1e-5, 1e-6, 1e16, 1.16})
    EXPECT_TRUE(seen.insert(pressure_profile_plot_suffixes(Json::array({f}))[0]).second) << f;
  for (const auto& s : seen) EXPECT_EQ(s.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789"), std::string::npos);
  EXPECT_EQ(quoted_values(Json::array({1.25, 2.5, -3})), (std::vector<std::string>{"1.25", "2.5", "-3.0"}));
  EXPECT_TRUE(quoted_values(Json::array()).empty());
}

TEST(RefineBox, BuildsTopoSetAndRefineMeshCommandsOrNone) {
  EXPECT_TRUE(build_box_local_refine_commands(nullptr).empty());
  const auto cmds = build_box_local_refine_commands(Json::parse("[[1, 2, 3], [0, -1, 4.5]]"));
  ASSERT_EQ(cmds.size(), 5u);
  EXPECT_EQ(cmds[1],
            "sed -i \"s/^[[:space:]]*box .*/        box (0.0 -1.0 3.0) (1.0 2.0 4.5);/\" system/topoSetDict >> "
            "log_mesh.txt 2>&1");
  EXPECT_EQ(cmds[2], "topoSet >> log_mesh.txt 2>&1");
  EXPECT_EQ(cmds[3], "refineMesh -dict system/refineMeshDict -overwrite >> log_mesh.txt 2>&1");
  EXPECT_EQ(cmds[4], "rm -rf 0 >> log_mesh.txt 2>&1");
  for (const char* bad : {"[[1,2,3]]", "[[1,2],[3,4]]", "[[1,2,3],[4,5,\"6\"]]", "5", "[[1,2,3],[4,5,6],[7,8,9]]"})
    EXPECT_THROW(build_box_local_refine_commands(Json::parse(bad)), ValueError) << bad;
  Json inf_box = Json::parse("[[0,0,0],[1,1,1]]");
  inf_box[1][2] = std::numeric_limits<double>::infinity();
  EXPECT_THROW(build_box_local_refine_commands(inf_box), ValueError);
}

Json limits() {
  Json t = Json::object();
  auto set = [&](const std::string& m, Json pass, Json warn) {
    t[m + "_pass"] = {{"value", pass}};
    t[m + "_warning"] = {{"value", warn}};
  };
  set("max_nonorthogonality", 65, 75);
  set("severe_nonorthogonal_faces", 10, 1000);
  set("max_skewness", 4, 10);
  set("max_aspect_ratio", 1000, 10000);
  set("n_cells", 8e6, 14e6);
  return t;
}

TEST(MeshQuality, GradesEachMetricAndNamesTheOutliers) {
  Json m = {{"n_cells", 48000}, {"max_nonorthogonality", 60.0}, {"severe_nonorthogonal_faces", 0},
            {"max_skewness", 2.1}, {"max_aspect_ratio", 300.0}};
  Json q = assess_mesh_quality(m, limits());
  EXPECT_EQ(q["status"], "pass");
  EXPECT_EQ(q["checks"]["max_skewness"]["verdict"], "pass");
  EXPECT_EQ(q["checks"]["max_skewness"]["value"], 2.1);

  m["max_nonorthogonality"] = 70.0;
  q = assess_mesh_quality(m, limits());
  EXPECT_EQ(q["status"], "warning");
  EXPECT_EQ(q["note"], "max_nonorthogonality = 70 is above its pass limit 65.");

  m["max_skewness"] = 12.5;
  q = assess_mesh_quality(m, limits());
  EXPECT_EQ(q["status"], "fail");
  EXPECT_EQ(q["note"],
            "max_nonorthogonality = 70 is above its pass limit 65. max_skewness = 12.5 is above its warning limit 10.");

  m["max_skewness"] = 10.0;  // equal to a limit stays inside it
  EXPECT_EQ(assess_mesh_quality(m, limits())["checks"]["max_skewness"]["verdict"], "warning");
  m.erase("max_aspect_ratio");
  EXPECT_EQ(assess_mesh_quality(m, limits())["status"], "fail");
  EXPECT_THROW(assess_mesh_quality(m, Json::object()), KeyError);
}

TEST(SimulationLog, ReadsForceAndResidualHistoriesOfEveryPrimalRun) {
  const std::string log =
      "Starting time loop\n\nTime = 1\n\n"
      "smoothSolver:  Solving for Ux, Initial residual = 1, Final residual = 0.01, No Iterations 2\n"
      "GAMG:  Solving for p, Initial residual = 1, Final residual = 0.001, No Iterations 3\n"
      "GAMG:  Solving for p, Initial residual = 0.5, Final residual = 0.001, No Iterations 3\n"
      "forceCoeffs forceCoeffs write:\n    Coefficients\n"
      "        Cd       : 0.031\t(pressure: 0.02\tviscous: 0.011)\n"
      "        Cs       : 0\n        Cl       : 0.45\n        CmRoll   : 0\n        CmPitch  : -0.02\n"
      "\nTime = 2\n\n"
      "smoothSolver:  Solving for Ux, Initial residual = 0.1, Final residual = 0.001, No Iterations 2\n"
      "        Cd       : 0.030\n        Cl       : 0.46\n        CmPitch  : -0.021\n"
      "End\nStarting time loop\nTime = 3\n"
      "smoothSolver:  Solving for Ux, Initial residual = nan, Final residual = nan, No Iterations 1000\n"
      "        Cd       : nan\n";
  const Json s = parse_simulation_log_text(log);
  EXPECT_EQ(s["cd"], Json::parse("[0.031, 0.030, null]"));
  EXPECT_EQ(s["cl"], Json::parse("[0.45, 0.46]"));
  EXPECT_EQ(s["cm"], Json::parse("[-0.02, -0.021]"));
  EXPECT_EQ(s["residuals"]["Ux"], Json::parse("[1, 0.1, null]"));
  EXPECT_EQ(s["residuals"]["p"], Json::parse("[1]"));  // first solve per iteration only
  EXPECT_EQ(s["n_primal_runs"], 2);
  EXPECT_EQ(s["n_iterations"], 3);
  EXPECT_EQ(s["has_nan_inf"], true);
  EXPECT_EQ(parse_simulation_log_text("")["cd"], Json::array());
  EXPECT_THROW(parse_simulation_log("/nonexistent/log_simulation.txt"), FileNotFoundError);
}

// A megabyte-long line overflowed the regex matcher's stack (found by the log readers' fuzz
// target); lines that long cannot be solver output and are skipped.
TEST(SimulationLog, SurvivesAMegabyteLongLineBetweenSolverLines) {
  const std::string log = "Time = 1\nsmoothSolver:  Solving for Ux, Initial residual = " + std::string(2000000, '1') +
                          ", Final residual = 1\n        Cd       : " + std::string(1000000, '9') +
                          "\n        Cd       : 0.031\n";
  const Json s = parse_simulation_log_text(log);
  EXPECT_EQ(s["cd"], Json::parse("[0.031]"));
  EXPECT_EQ(s["n_iterations"], 1);
  EXPECT_EQ(s["residuals"], Json::object());
}

class SolverFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("orvanta_solver_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "solvers/DASimpleFoam/system");
    std::ofstream(dir_ / "solvers/DASimpleFoam/system/fvSchemes") << "schemes";
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(SolverFilesTest, CopiesTheCaseLocalSolverFolderAndWritesTheTurbulenceModel) {
  copy_solver_files(dir_.string(), "DASimpleFoam");
  EXPECT_TRUE(fs::is_regular_file(dir_ / "system/fvSchemes"));
  EXPECT_THROW(copy_solver_files(dir_.string(), "NoSuchSolver"), FileNotFoundError);

  write_turbulence_model(dir_.string(), "kOmegaSST");
  std::ifstream f(dir_ / "constant/turbulenceProperties");
  const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("RASModel        kOmegaSST;"), std::string::npos);
  EXPECT_NE(text.find("simulationType RAS;"), std::string::npos);
  EXPECT_THROW(write_turbulence_model(dir_.string(), "kOmegaSST; rm -rf /"), ValueError);
}

}  // namespace
}  // namespace orvanta
