#include "tests/apps/case_fixture.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace orvanta::app {
namespace {
namespace fs = std::filesystem;

using CaseManagerTest = CaseFixture;

TEST_F(CaseManagerTest, StartingAMeshCaseStagesPreparesAndLaunches) {
  const Json out = cases_->start({"generate-cfd-mesh", Json{{"surface_level", 4}, {"Wing:XSec_1:Twist", -3.0}},
                                  Json{{"curvature_level", -1}}, "m1", ""});
  EXPECT_EQ(out["case_name"], "m1");
  ASSERT_EQ(out["results"].size(), 2u);
  EXPECT_EQ(out["results"][0]["status"], "pass");
  EXPECT_EQ(out["results"][1]["status"], "running");  // recorded, not started
  const fs::path dir = work_ / "m1";
  EXPECT_TRUE(fs::is_regular_file(dir / "system/blockMeshDict"));
  EXPECT_TRUE((fs::status(dir / "Allclean.sh").permissions() & fs::perms::owner_exec) != fs::perms::none);
  EXPECT_FALSE(fs::exists(dir / "orvanta_case/__pycache__"));
  const Json inputs = load_case_inputs(dir.string());
  EXPECT_EQ(inputs["surface_level"], 4);
  EXPECT_EQ(inputs["n_cpus"], 2);
  EXPECT_EQ(load_case_record(dir.string())["state"], "running");
  const Json& calls = host_->calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_NE(calls[0]["arguments"]["commands"].dump().find("curvLevel disabled"), std::string::npos);

  EXPECT_THROW(cases_->start({"generate-cfd-mesh", Json::object(), Json::object(), "m1", ""}), ValueError);
  EXPECT_THROW(cases_->start({"generate-cfd-mesh", Json::object(), Json::object(), "../m2", ""}), ValueError);
  EXPECT_THROW(cases_->start({"generate-cfd-mesh", Json{{"n_cpus", 2}}, Json{{"no_such", 1}}, "", ""}), KeyError);
  EXPECT_EQ(cases_->list().size(), 1u);  // refused calls create no case
}

TEST_F(CaseManagerTest, FlowCasesTakeTheNewestPassedMeshAndItsModel) {
  cases_->start({"generate-cfd-mesh", Json::object(), Json::object(), "m1", ""});
  try {
    cases_->start({"run-cfd-simulation", Json::object(), Json::object(), "c1", ""});
    FAIL();
  } catch (const ValueError& e) {
    EXPECT_NE(std::string(e.what()).find("needs a generate-cfd-mesh case whose run passed"), std::string::npos);
  }
  // Named while its run is still going, with only the background mesh written so far.
  fs::create_directories(work_ / "m1/constant/polyMesh");
  try {
    cases_->start({"run-cfd-simulation", Json{{"mach_number", 0.25}}, Json::object(), "c1", "m1"});
    FAIL();
  } catch (const ValueError& e) {
    EXPECT_NE(std::string(e.what()).find("has no finished mesh (state running)"), std::string::npos);
  }
  finish_mesh("m1");
  const Json cfd = cases_->start({"run-cfd-simulation", Json{{"mach_number", 0.25}}, Json::object(), "c1", ""});
  EXPECT_EQ(cfd["results"][0]["status"], "pass");
  EXPECT_TRUE(fs::is_regular_file(work_ / "c1/constant/polyMesh/points"));
  const Json inputs = load_case_inputs((work_ / "c1").string());
  EXPECT_EQ(inputs["solver_name"], "DARhoSimpleFoam");
  EXPECT_NEAR(inputs["reference_length"].get<double>(), 1.4857142857142858, 1e-12);
  EXPECT_EQ(load_case_record((work_ / "c1").string())["prereq_case"], (work_ / "m1").string());

  // The optimization inherits its Mach number: the mesh case has none, the CFD case on it does.
  const Json opt = cases_->start({"run-aero-optimization", Json::object(), Json::object(), "o1", "m1"});
  EXPECT_EQ(load_case_inputs((work_ / "o1").string())["mach_number"], 0.25);
  EXPECT_EQ(opt["results"][1]["status"], "running");
}

TEST_F(CaseManagerTest, WithoutAnyMachNumberTheOptimizationAsksForOne) {
  cases_->start({"generate-cfd-mesh", Json::object(), Json::object(), "m1", ""});
  finish_mesh("m1");
  try {
    cases_->start({"run-aero-optimization", Json::object(), Json::object(), "o1", ""});
    FAIL();
  } catch (const ValueError& e) {
    EXPECT_EQ(std::string(e.what()), "Input `mach_number` takes `mach_number` from the prerequisite case " +
                                         (work_ / "m1").string() + ", which has no such input; set mach_number explicitly.");
  }
  EXPECT_FALSE(fs::exists(work_ / "o1"));
  EXPECT_THROW(cases_->start({"run-aero-optimization", Json{{"mach_number", 0.3}}, Json::object(), "o1", "c9"}),
               ValueError);
}

TEST_F(CaseManagerTest, AdvancedParametersLayerDefaultsUserFileAndCall) {
  std::ofstream(work_ / "orvanta.json") << R"({"advanced_parameters": {
      "*": {"max_flow_iters": 50, "turbulence_model": "kOmegaSST"},
      "run-cfd-simulation": {"max_flow_iters": {"value": 70}}}})";
  Json cfd = load_adv_params("run-cfd-simulation", Json{{"turbulence_model", "SpalartAllmaras"}});
  EXPECT_EQ(adv_value(cfd, "max_flow_iters"), 70);
  EXPECT_EQ(adv_value(cfd, "turbulence_model"), "SpalartAllmaras");
  EXPECT_TRUE(cfd["max_flow_iters"].contains("description"));
  const Json mesh = load_adv_params("generate-cfd-mesh", Json::object());  // shared names it lacks are skipped
  EXPECT_FALSE(mesh.contains("max_flow_iters"));
  std::ofstream(work_ / "orvanta.json") << R"({"advanced_parameters": {"generate-cfd-mesh": {"max_cel_size": 2}}})";
  EXPECT_THROW(load_adv_params("generate-cfd-mesh", Json::object()), KeyError);
}

}  // namespace
}  // namespace orvanta::app
