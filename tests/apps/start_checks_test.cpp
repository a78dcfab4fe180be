// Hopeless or machine-breaking inputs are refused by the case manager before a case is
// made, with a message that names the input and its range.

#include "apps/orvanta/start_checks.hpp"
#include "apps/orvanta/tool_schema.hpp"
#include "host/openvsp/reference_geometry.hpp"
#include "host/base/paths.hpp"
#include "tests/apps/case_fixture.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

namespace orvanta::app {
namespace {
namespace fs = std::filesystem;

using StartChecksTest = CaseFixture;

double packaged_reference_length() {
  return to_real(read_vsp_reference_geometry((asset_package_dir("aircraft_assets") / "aircraft.vsp3").string(),
                                             "Wing")["reference_length"]);
}

// The value that a recorded mesh run writes into a blockMeshDict line (`Nx 40;`).
long long recorded_block_value(const Json& calls, const std::string& key) {
  const std::regex re("s/\\^" + key + ".\\*/" + key + " (\\d+);/");
  for (const Json& c : calls[0]["arguments"]["commands"]) {
    std::smatch m;
    const std::string command = c.get<std::string>();
    if (std::regex_search(command, m, re)) return std::stoll(m[1]);
  }
  return -1;
}

TEST_F(StartChecksTest, OutOfRangeMeshInputsAreRefusedAndNothingIsStaged) {
  setenv("ORVANTA_MAX_RANKS", "4", 1);
  const std::string ranks = " (rank limit from ORVANTA_MAX_RANKS)";
  const std::vector<std::pair<Json, std::string>> refused = {
      {Json{{"surface_level", 99}}, "Input `surface_level` must be an integer from 1 to 10, got 99."},
      {Json{{"surface_level", 0}}, "Input `surface_level` must be an integer from 1 to 10, got 0."},
      {Json{{"surface_level", "nan"}}, "Input `surface_level` must be an integer from 1 to 10, got \"nan\"."},
      {Json{{"surface_level", 10.5e300}}, "Input `surface_level` must be an integer from 1 to 10, got 1.05e+301."},
      {Json{{"n_cpus", 100000}}, "Input `n_cpus` must be an integer from 1 to 4" + ranks + ", got 100000."},
      {Json{{"n_cpus", "5"}}, "Input `n_cpus` must be an integer from 1 to 4" + ranks + ", got \"5\"."},
      {Json{{"n_cpus", -3}}, "Input `n_cpus` must be an integer from 1 to 4" + ranks + ", got -3."},
      {Json{{"Wing:XSec_1:Twist", "inf"}}, "Input `Wing:XSec_1:Twist` must be a finite number, got \"inf\"."},
      {Json{{"Wing:UpperCoeff:Au", Json::array({0.1, "nan"})}},
       "Input `Wing:UpperCoeff:Au[1]` must be a finite number, got \"nan\"."},
  };
  for (const auto& [inputs, message] : refused) {
    EXPECT_EQ(refusal({"generate-cfd-mesh", inputs, Json::object(), "m1", ""}), message) << inputs.dump();
    EXPECT_EQ(entries_in_work_dir(), 0u) << inputs.dump();
  }
  // The ends of the ranges and integer text start, as the skill reads them.
  EXPECT_EQ(refusal({"generate-cfd-mesh", Json{{"surface_level", 10}, {"n_cpus", "4"}}, Json::object(), "m1", ""}), "");
  EXPECT_EQ(refusal({"generate-cfd-mesh", Json{{"surface_level", "1"}, {"n_cpus", 1}}, Json::object(), "m2", ""}), "");
  EXPECT_EQ(host_->calls().size(), 2u);
}

TEST_F(StartChecksTest, OutOfRangeFlowInputsAreRefusedAndNothingIsStaged) {
  make_mesh_case();
  setenv("ORVANTA_MAX_RANKS", "2", 1);
  const std::vector<std::tuple<std::string, Json, std::string>> refused = {
      {"run-cfd-simulation", Json{{"n_cpu_cores", -3}},
       "Input `n_cpu_cores` must be an integer from 1 to 2 (rank limit from ORVANTA_MAX_RANKS), got -3."},
      {"run-cfd-simulation", Json{{"mach_number", "nan"}}, "Input `mach_number` must be a finite number above 0, got \"nan\"."},
      {"run-cfd-simulation", Json{{"mach_number", 0}}, "Input `mach_number` must be a finite number above 0, got 0."},
      {"run-cfd-simulation", Json{{"mach_number", "-inf"}}, "Input `mach_number` must be a finite number above 0, got \"-inf\"."},
      {"run-cfd-simulation", Json{{"reynolds_number", -1e6}},
       "Input `reynolds_number` must be a finite number above 0, got -1000000.0."},
      {"run-cfd-simulation", Json{{"angle_of_attack", "inf"}}, "Input `angle_of_attack` must be a finite number, got \"inf\"."},
      {"run-cfd-simulation", Json{{"fixed_lift_coeff", nullptr}}, "Input `fixed_lift_coeff` must be a finite number, got null."},
      {"run-aero-optimization", Json{{"mach_number", 0.3}, {"n_cpu_cores", 0}},
       "Input `n_cpu_cores` must be an integer from 1 to 2 (rank limit from ORVANTA_MAX_RANKS), got 0."},
      {"run-aero-optimization", Json{{"mach_number", 0.3}, {"lift_constraint", "NaN"}},
       "Input `lift_constraint` must be a finite number, got \"NaN\"."},
      {"run-aero-optimization", Json{{"mach_number", 0.3}, {"max_opt_iters", "many"}},
       "Input `max_opt_iters` must be an integer, got \"many\"."},
  };
  for (const auto& [skill, inputs, message] : refused) {
    EXPECT_EQ(refusal({skill, inputs, Json::object(), "c1", ""}), message) << inputs.dump();
    EXPECT_FALSE(fs::exists(work_ / "c1")) << inputs.dump();
  }
  EXPECT_EQ(refusal({"run-cfd-simulation", Json{{"mach_number", "0.25"}, {"n_cpu_cores", 2}}, Json::object(), "c1", ""}), "");
}

TEST_F(StartChecksTest, TheRankLimitComesFromTheEnvironmentTheWorkingDirectoryOrTheMachine) {
  const RankLimit machine = cases_->rank_limit();
  EXPECT_GE(machine.max_ranks, 2);  // the mesh skill's default always fits
  EXPECT_LE(machine.max_ranks, std::max(2u, std::thread::hardware_concurrency()));
  EXPECT_NE(machine.source.find("CPUs of this machine"), std::string::npos);
  const std::string too_many = std::to_string(machine.max_ranks + 1);
  EXPECT_EQ(refusal({"generate-cfd-mesh", Json{{"n_cpus", machine.max_ranks + 1}}, Json::object(), "m1", ""}),
            "Input `n_cpus` must be an integer from 1 to " + std::to_string(machine.max_ranks) + " (rank limit from " +
                machine.source + "), got " + too_many + ".");

  const std::string file = (work_ / "orvanta.json").string();
  std::ofstream(file) << R"({"scheduler": {"max_ranks": 64}})";
  EXPECT_EQ(cases_->rank_limit().max_ranks, 64);
  EXPECT_EQ(refusal({"generate-cfd-mesh", Json{{"n_cpus", 65}}, Json::object(), "m1", ""}),
            "Input `n_cpus` must be an integer from 1 to 64 (rank limit from scheduler.max_ranks in " + file +
                "), got 65.");
  EXPECT_EQ(refusal({"generate-cfd-mesh", Json{{"n_cpus", 64}}, Json::object(), "m1", ""}), "");

  setenv("ORVANTA_MAX_RANKS", "8", 1);  // the environment wins over the file
  EXPECT_EQ(cases_->rank_limit().max_ranks, 8);
  setenv("ORVANTA_MAX_RANKS", "lots", 1);
  EXPECT_EQ(refusal({"generate-cfd-mesh", Json::object(), Json::object(), "m2", ""}),
            "ORVANTA_MAX_RANKS must be an integer of at least 1, got \"lots\".");
  unsetenv("ORVANTA_MAX_RANKS");
  std::ofstream(file) << R"({"scheduler": {"max_ranks": 0}})";
  EXPECT_EQ(refusal({"generate-cfd-mesh", Json::object(), Json::object(), "m2", ""}),
            "scheduler.max_ranks in " + file + " must be an integer of at least 1, got 0.");
  EXPECT_FALSE(fs::exists(work_ / "m2"));
}

TEST_F(StartChecksTest, BackgroundCellsAreCountedAsTheMeshRunSizesBlockMesh) {
  // Counted here as the mesh run writes them into blockMeshDict.
  int n = 0;
  for (const double h : {0.5, 1.0, 0.375, 3.0}) {
    host_->clear();
    const std::string name = "m" + std::to_string(++n);
    cases_->start({"generate-cfd-mesh", Json::object(), Json{{"max_cell_size", h}}, name, ""});
    const BackgroundMesh mesh = background_mesh(packaged_reference_length(), h);
    EXPECT_EQ(recorded_block_value(host_->calls(), "Nx"), static_cast<long long>(mesh.nx)) << h;
    EXPECT_EQ(recorded_block_value(host_->calls(), "Ny"), static_cast<long long>(mesh.ny)) << h;
  }
  EXPECT_EQ(background_mesh(packaged_reference_length(), packaged_reference_length()).cells(), 32000);
}

TEST_F(StartChecksTest, TooFineABackgroundMeshIsRefused) {
  const size_t before = entries_in_work_dir();
  EXPECT_EQ(refusal({"generate-cfd-mesh", Json::object(), Json{{"max_cell_size", 0.12}}, "m1", ""}),
            "Advanced parameter `max_cell_size` = 0.12 gives 60521175 background cells (495 x 247 x 495) for the "
            "wing's reference length 1.48571 m; at most 2000000 are allowed. Choose a larger max_cell_size, or null "
            "for one reference length (40 x 20 x 40 cells).");
  // 160 x 80 x 160 = 2,048,000 is just over; 158 x 79 x 158 just under.
  EXPECT_NE(refusal({"generate-cfd-mesh", Json::object(), Json{{"max_cell_size", 0.37}}, "m1", ""}), "");
  for (const Json& bad : {Json(0), Json(-1.0), Json("nan"), Json("inf"), Json("small")})
    EXPECT_EQ(refusal({"generate-cfd-mesh", Json::object(), Json{{"max_cell_size", bad}}, "m1", ""}),
              "Advanced parameter `max_cell_size` must be null or a finite length above 0 (metres), got " + bad.dump() +
                  ".");
  // The working directory's orvanta.json is checked like a call's override.
  std::ofstream(work_ / "orvanta.json") << R"({"advanced_parameters": {"generate-cfd-mesh": {"max_cell_size": 0.12}}})";
  EXPECT_NE(refusal({"generate-cfd-mesh", Json::object(), Json::object(), "m1", ""}).find("60521175 background cells"),
            std::string::npos);
  EXPECT_EQ(entries_in_work_dir(), before + 1);  // orvanta.json only
  EXPECT_EQ(refusal({"generate-cfd-mesh", Json::object(), Json{{"max_cell_size", 0.375}}, "m1", ""}), "");
}

TEST_F(StartChecksTest, TheBackgroundIsSizedOnTheModelWithTheCallsDesignVariables) {
  // A longer chord makes a longer reference length, so the same cell size gives more cells.
  const Json chord = Json{{"Wing:XSec_1:Root_Chord", 3.0}, {"Wing:XSec_1:Tip_Chord", 3.0}};
  EXPECT_EQ(refusal({"generate-cfd-mesh", Json::object(), Json{{"max_cell_size", 0.4}}, "m1", ""}), "");
  const std::string message = refusal({"generate-cfd-mesh", chord, Json{{"max_cell_size", 0.4}}, "m2", ""});
  // Only the inner of the three panels gets the 3 m chords: the mean chord grows from 1.49 m.
  const std::string said = "for the wing's reference length ";
  const size_t at = message.find(said);
  ASSERT_NE(at, std::string::npos) << message;
  EXPECT_GT(std::stod(message.substr(at + said.size())), 2.0) << message;
  EXPECT_NE(message.find(" m; at most 2000000"), std::string::npos) << message;
  EXPECT_FALSE(fs::exists(work_ / "m2"));
  // The packaged model itself is left as it was.
  EXPECT_NEAR(packaged_reference_length(), 1.4857142857142858, 1e-12);
}

// The model is measured before the case is made, so a wing the engine cannot build stops
// the start there instead of in prepare, after staging.
TEST_F(StartChecksTest, AWingTheEngineCannotBuildStartsNoCase) {
  const Json flat = Json{{"Wing:XSec_1:Root_Chord", 0.0}, {"Wing:XSec_1:Tip_Chord", 0.0}};
  EXPECT_THROW(cases_->start({"generate-cfd-mesh", flat, Json::object(), "m0", ""}), GeometryError);
  EXPECT_FALSE(fs::exists(work_ / "m0"));
  // A flow case measures its mesh case's model.
  make_mesh_case();
  const fs::path model = work_ / "m1/aircraft.vsp3";
  std::string text = read_text_file(model);
  text = std::regex_replace(text, std::regex("<Tip_Chord Value=\"[^\"]*\""), "<Tip_Chord Value=\"0.0\"");
  std::ofstream(model) << text;
  EXPECT_THROW(cases_->start({"run-cfd-simulation", Json{{"mach_number", 0.3}}, Json::object(), "c1", ""}), GeometryError);
  EXPECT_FALSE(fs::exists(work_ / "c1"));
}

TEST_F(StartChecksTest, PublishedSchemasCarryTheRangesThatStartEnforces) {
  make_mesh_case();
  const RankLimit ranks = cases_->rank_limit();
  int bounded = 0;
  for (const auto& skill : cases_->agent().skills()) {
    const Json schema = skill_tool_schema(skill->input_info(), skill->prereq_skill().has_value(), ranks);
    for (const auto& [name, property] : schema["properties"].items()) {
      std::vector<Json> outside;
      if (property.contains("minimum")) outside.push_back(property["minimum"].get<double>() - 1);
      if (property.contains("maximum")) outside.push_back(property["maximum"].get<double>() + 1);
      if (property.contains("exclusiveMinimum")) outside.push_back(property["exclusiveMinimum"]);
      for (const Json& value : outside) {
        ++bounded;
        Json inputs = {{name, value}};
        if (skill->name() == "run-aero-optimization" && name != "mach_number") inputs["mach_number"] = 0.3;
        EXPECT_NE(refusal({skill->name(), inputs, Json::object(), "x1", ""}).find("Input `" + name + "` must be "),
                  std::string::npos)
            << skill->name() << " " << inputs.dump();
      }
    }
  }
  EXPECT_EQ(bounded, 12);  // surface_level and n_cpus twice, n_cpu_cores twice per flow skill, Mach and Reynolds
  const Json mesh = skill_tool_schema(cases_->agent().find_skill("generate-cfd-mesh")->input_info(), false, {6, "x"});
  EXPECT_EQ(mesh["properties"]["surface_level"]["minimum"], 1);
  EXPECT_EQ(mesh["properties"]["surface_level"]["maximum"], 10);
  EXPECT_EQ(mesh["properties"]["n_cpus"]["maximum"], 6);
  EXPECT_FALSE(mesh["properties"]["n_boundary_layers"].contains("maximum"));
  EXPECT_FALSE(fs::exists(work_ / "x1"));
}

TEST_F(StartChecksTest, OnlyOptimizersTheDriverKnowsAreAccepted) {
  make_mesh_case();
  for (const Json& bad : {Json("COBYLA"), Json(" SLSQP"), Json(5), Json(nullptr)}) {
    EXPECT_EQ(refusal({"run-aero-optimization", Json{{"mach_number", 0.3}, {"optimizer", bad}}, Json::object(), "o1", ""}),
              "Input `optimizer` must be SLSQP, IPOPT or SNOPT (in any letter case), got " + bad.dump() + ".");
    EXPECT_FALSE(fs::exists(work_ / "o1"));
  }
  int n = 0;
  for (const char* good : {"snopt", "Ipopt", "SLSQP"})
    EXPECT_EQ(refusal({"run-aero-optimization", Json{{"mach_number", 0.3}, {"optimizer", good}}, Json::object(),
                       "o" + std::to_string(++n), ""}),
              "")
        << good;
}

TEST_F(StartChecksTest, AWarmStartSourceMustBeACaseInsideTheWorkingDirectory) {
  make_mesh_case();
  const fs::path outside = work_.string() + "_outside";
  fs::create_directories(outside / "cfd_old");
  fs::create_directories(work_ / "cfd_a");
  fs::create_symlink(outside / "cfd_old", work_ / "escape");
  fs::create_symlink(outside, work_ / "up");
  auto warm = [&](const std::string& source) {
    return refusal({"run-cfd-simulation", Json{{"mach_number", 0.3}}, Json{{"initialize_from", source}}, "c1", ""});
  };
  const std::string inside = "Advanced parameter `initialize_from` must name a case directory inside the working "
                             "directory " + work_.string() + ", got ";
  EXPECT_EQ(warm("../" + outside.filename().string() + "/cfd_old"),
            inside + "\"../" + outside.filename().string() + "/cfd_old\" (" + (outside / "cfd_old").string() + ").");
  EXPECT_EQ(warm((outside / "cfd_old").string()),
            inside + "\"" + (outside / "cfd_old").string() + "\" (" + (outside / "cfd_old").string() + ").");
  EXPECT_EQ(warm("escape"), inside + "\"escape\" (" + (outside / "cfd_old").string() + ").");
  EXPECT_EQ(warm("up/cfd_old"), inside + "\"up/cfd_old\" (" + (outside / "cfd_old").string() + ").");
  EXPECT_EQ(warm("."), inside + "\".\" (" + work_.string() + ").");
  EXPECT_EQ(warm("cfd_b"), "Advanced parameter `initialize_from` names " + (work_ / "cfd_b").string() +
                               ", which is not a case directory.");
  EXPECT_FALSE(fs::exists(work_ / "c1"));
  // A sibling case, named plainly or through a path that stays inside, is a warm start.
  EXPECT_EQ(warm("escape/../cfd_a"), "");  // lexically first: escape/.. is the working directory
  EXPECT_EQ(refusal({"run-cfd-simulation", Json{{"mach_number", 0.3}}, Json{{"initialize_from", "cfd_a"}}, "c2", ""}), "");
  fs::remove_all(outside);
}

}  // namespace
}  // namespace orvanta::app
