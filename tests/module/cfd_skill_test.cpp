#include "host/base/errors.hpp"
#include "module/skill_fixture.hpp"
#include "src/aircraft_run_cfd_simulation/cfd_skill.hpp"

#include <gtest/gtest.h>

namespace orvanta {
namespace {
namespace fs = std::filesystem;
using Cfd = testing::SkillTest<AircraftRunCFDSimulation>;
using Names = std::vector<std::string>;

void bind_reference(BaseSkill& s) {
  s.inputs["solver_name"] = "DARhoSimpleFoam";
  s.inputs["reference_area"] = 20;
  s.inputs["reference_length"] = 1.5;
  s.inputs["reference_span"] = 10;
}

TEST_F(Cfd, RunBuildsTheSolverChainFromInputsAndSettings) {
  bind_reference(skill_);
  touch("run_finished.pid");
  skill_.run();
  EXPECT_FALSE(fs::exists(in_case("run_finished.pid")));
  const Names cmds = commands();
  ASSERT_EQ(cmds.size(), 7u);
  EXPECT_EQ(cmds[0],
            "mpirun -np 1 python script_run_dafoam.py -task=run_model -angle_of_attack=2.0 -fixed_lift_coeff=-1.0 "
            "-mach_number=0.3 -solver_name=DARhoSimpleFoam -turbulence_model=SpalartAllmaras -max_flow_iters=1000 "
            "-reynolds_number=1000000.0 -primal_func_std_tol=1e-05 -primal_func_slope_tol=1e-06 "
            "-reference_area=20.0 -reference_length=1.5 > log_simulation.txt 2>&1");
  EXPECT_EQ(Names(cmds.begin() + 1, cmds.end()),
            (Names{"reconstructPar -withZero >> log_simulation.txt 2>&1", "rm -rf processor* >> log_simulation.txt 2>&1",
                   "rm -rf VTK >> log_simulation.txt 2>&1 ",
                   "foamToVTK -latestTime -patches '(aircraft sym)' -fields '(U p T rho nut)' -one-boundary >> "
                   "log_simulation.txt 2>&1",
                   "mv VTK/*/boundary.vtp VTK/ >> log_simulation.txt 2>&1 || true", "touch run_finished.pid"}));
  EXPECT_EQ(host_->calls()[0]["arguments"]["phase"], "run");
  EXPECT_EQ(host_->calls()[0]["arguments"]["detached"], true);
}

TEST_F(Cfd, RunConvertsValuesAndPrefixesAWarmStart) {
  bind_reference(skill_);
  skill_.inputs["n_cpu_cores"] = 4.0;
  skill_.inputs["angle_of_attack"] = 3;
  set_adv("initialize_from", "../cfd_case_0");
  set_adv("turbulence_model", "k Omega");  // not a plain word: quoted for the shell
  skill_.run();
  const Names cmds = commands();
  ASSERT_EQ(cmds.size(), 8u);
  EXPECT_EQ(cmds[0],
            "python script_workflow_helpers.py stage-warm-start --initialize-from ../cfd_case_0 --case-dir . > "
            "log_warmstart.txt 2>&1 || exit $?");
  EXPECT_EQ(cmds[1].rfind("mpirun -np 4 python script_run_dafoam.py -task=run_model -angle_of_attack=3.0 ", 0), 0u);
  EXPECT_NE(cmds[1].find(" '-turbulence_model=k Omega' "), std::string::npos);
  EXPECT_NE(cmds[1].find(" -reference_length=1.5 -initialize_from=../cfd_case_0 > log_simulation.txt 2>&1"),
            std::string::npos);

  set_adv("initialize_from", "$(touch pwned)");
  skill_.run();
  EXPECT_NE(commands(1)[0].find("--initialize-from '$(touch pwned)' --case-dir"), std::string::npos);
  for (const Json& absent : {Json(), Json(""), Json(0), Json(false)}) {
    set_adv("initialize_from", absent);
    host_->clear();
    skill_.run();
    EXPECT_EQ(commands().size(), 7u);
  }
  skill_.inputs["mach_number"] = "fast";
  EXPECT_THROW(skill_.run(), ValueError);
  skill_.inputs.erase("reference_area");
  EXPECT_THROW(skill_.run(), KeyError);
}

TEST_F(Cfd, ReviewRunPollsThenJudgesTheForceHistories) {
  EXPECT_EQ(skill_.review_run()["status"], "running");
  EXPECT_EQ(skill_.review_run()["note"],
            "Aircraft CFD simulation is still running in the background. Progress is being written to "
            "log_simulation.txt. Call review_run again later to poll its status.");
  fs::create_directories(in_case("run_finished.pid"));
  EXPECT_EQ(skill_.review_run()["status"], "running");  // a directory is no marker
  fs::remove(in_case("run_finished.pid"));
  touch("run_finished.pid");
  EXPECT_EQ(skill_.review_run(), Json::parse(R"({"phase": "review_run", "skill": "run-cfd-simulation",
      "status": "fail", "note": "Aircraft CFD simulation log file is missing: log_simulation.txt"})"));
  touch("log_simulation.txt", "Time = 1\n        Cd       : 0.03\n");
  EXPECT_EQ(skill_.review_run()["note"],
            "Aircraft CFD simulation finished without producing CD/CL/CM history. The solver likely failed before "
            "completing a primal run. Check log_simulation.txt for details.");
  touch("log_simulation.txt", "Time = 1\n Cd : 0.03\n Cl : 0.4\n CmPitch : -0.1\n");
  EXPECT_EQ(skill_.review_run(), Json::parse(R"({"phase": "review_run", "skill": "run-cfd-simulation", "status": "pass"})"));
}

TEST_F(Cfd, AnalyzePlotsAtSpanStationsAndServesTheFigures) {
  bind_reference(skill_);
  set_adv("pressure_profile_fractions", Json::array({0.25, 0.5}));
  skill_.analyze();
  const Names cmds = commands();
  ASSERT_EQ(cmds.size(), 6u);
  EXPECT_EQ(cmds[0], "python script_plot_results.py -mode general_plot_residual -case_dir . -log_file "
                     "log_simulation.txt >> log_plot_cfd.txt 2>&1");
  EXPECT_NE(cmds[2].find("-flow_field Cp -var_lower -1.5 -var_upper 1.0 -var_ref 101325.0 -var_scaling "),
            std::string::npos);
  EXPECT_NE(cmds[3].find(" -field_label \"(|U|-U0)/U0\" >> log_plot_cfd.txt 2>&1"), std::string::npos);
  EXPECT_NE(cmds[4].find(" -spanwise_y 1.25 2.5 -spanwise_fractions 0.25 0.5 >> log_plot_cfd.txt 2>&1"),
            std::string::npos);
  EXPECT_EQ(cmds[5], "python script_workflow_helpers.py write-cfd-analysis --log-file log_simulation.txt "
                     "--output-file cfd_analysis_metrics.json");
  const Json& calls = host_->calls();
  EXPECT_EQ(calls[0]["arguments"]["run_mode"], "Direct");
  EXPECT_EQ(calls[1]["operation"], "_launch_html_gallery");
  EXPECT_EQ(calls[1]["arguments"]["page"], "cfd.html");
  EXPECT_EQ(calls[1]["arguments"]["figures"].size(), 8u);
  EXPECT_EQ(calls[1]["arguments"]["figures"][7], "plots/aircraft_pressure_profile_y0p5.png");
  EXPECT_EQ(calls[1]["arguments"]["plot_log_filename"], "log_plot_cfd.txt");
  EXPECT_EQ(calls[2]["arguments"]["vtk_files"], Json::array({"VTK/boundary.vtp"}));

  host_->clear();
  set_adv("pressure_profile_fractions", Json::array());
  skill_.analyze();
  EXPECT_NE(commands()[4].find(" -spanwise_y  -spanwise_fractions  >> "), std::string::npos);
  EXPECT_EQ(host_->calls()[1]["arguments"]["figures"].size(), 6u);

  host_->clear();
  skill_.inputs["mach_number"] = 0.0;
  EXPECT_THROW(skill_.analyze(), ValueError);
  EXPECT_TRUE(host_->calls().empty());
}

class CfdReview : public Cfd {
 protected:
  void SetUp() override {
    Cfd::SetUp();
    bind_reference(skill_);
    for (const char* f : {"general_residual_cfd.png", "general_function_cd.png", "general_function_cl.png",
                          "general_function_cm.png", "aircraft_flow_field_Cp_3d.png", "aircraft_flow_field_U_3d.png",
                          "aircraft_pressure_profile_y0p25.png", "aircraft_pressure_profile_y0p5.png",
                          "aircraft_pressure_profile_y0p75.png"})
      touch(std::string("plots/") + f);
  }
  Json review(Json has_nan, Json cd_std, Json drops) {
    Json m = {{"has_nan_inf", has_nan}, {"cd_stddev", cd_std}, {"residual_drop_orders", drops},
              {"n_primal_runs", 1}, {"final_cd", 0.03}, {"final_cl", 0.4}, {"final_cm", -0.1}};
    touch("cfd_analysis_metrics.json", m.dump());
    return skill_.review_analyze();
  }
};

TEST_F(CfdReview, GradesOscillationAndResidualDropAsTheTableSays) {
  // thresholds: force pass 1e-4, fail 1e-3; drop pass 3, fail 2
  Json r = review(false, 1e-4, Json{{"p", 3.0}, {"Ux", nullptr}});
  EXPECT_EQ(r["status"], "pass");
  EXPECT_FALSE(r.contains("note"));
  std::vector<std::string> keys;
  for (const auto& [k, v] : r.items()) keys.push_back(k);
  EXPECT_EQ(keys, (Names{"phase", "skill", "status", "reference_area", "reference_length", "reference_span",
                         "has_nan_inf", "n_primal_runs", "final_cd", "final_cl", "final_cm", "cd_stddev",
                         "residual_drop_orders", "review_thresholds", "plots", "html_url", "trame_url"}));
  EXPECT_EQ(r["review_thresholds"].dump(),
            R"({"force_std_pass":0.0001,"force_std_warning":0.001,"res_drop_min_ord":3.0,"res_drop_fail_ord":2.0})");
  EXPECT_EQ(r["plots"][0], "case1/plots/aircraft_flow_field_Cp_3d.png");
  EXPECT_EQ(r["html_url"], "http://127.0.0.1:8001/cfd.html");
  EXPECT_EQ(r["trame_url"], "http://127.0.0.1:8002/");

  r = review(false, 5e-4, Json{{"p", 2.5}});
  EXPECT_EQ(r["status"], "warning");
  EXPECT_EQ(r["note"], "CD oscillation exceeds the pass threshold (0.0005 > 0.0001).");
  r = review(false, nullptr, Json{{"p", 2.5}});
  EXPECT_EQ(r["note"], "The weakest residual dropped by fewer than 3 orders.");
  r = review(true, 5e-4, Json{{"p", 4}});
  EXPECT_EQ(r["status"], "fail");
  EXPECT_EQ(r["note"], "NaN or Inf was detected in log_simulation.txt.");
  r = review(true, 0.0123456789, Json{{"p", 1.0}});
  EXPECT_EQ(r["note"], "NaN or Inf was detected in log_simulation.txt. CD oscillation exceeds the fail threshold "
                       "(0.0123457 > 0.001). The weakest residual dropped by fewer than 2 orders.");
  r = review(false, 5e-4, Json{{"p", 1.0}});
  EXPECT_EQ(r["note"], "CD oscillation exceeds the pass threshold (0.0005 > 0.0001). The weakest residual dropped by "
                       "fewer than 2 orders.");
  EXPECT_EQ(review(false, nullptr, Json::object())["status"], "pass");
  EXPECT_THROW(review(false, nullptr, Json::array({1})), TypeError);
}

TEST_F(CfdReview, ChecksTheFiguresBeforeGrading) {
  fs::remove(in_case("plots/aircraft_pressure_profile_y0p5.png"));
  fs::create_directories(in_case("plots/aircraft_pressure_profile_y0p5.png"));  // a folder is no figure
  touch("plots/general_function_cd.png");
  fs::rename(in_case("plots/general_function_cd.png"), in_case("plots/general_function_cd.PNG"));
  touch("plots/extra_from_earlier_run.png");
  Json r = review(false, nullptr, Json::object());
  EXPECT_EQ(r["status"], "fail");
  EXPECT_EQ(r["note"], "The analyze phase is missing required CFD plots: ['plots/aircraft_pressure_profile_y0p5.png', "
                       "'plots/general_function_cd.png']");
  EXPECT_EQ(r["plots"].size(), 9u);
  EXPECT_FALSE(r.contains("html_url"));

  fs::remove_all(in_case("plots"));
  r = review(false, nullptr, Json::object());
  EXPECT_EQ(r["note"], "The analyze phase did not produce any CFD convergence or aircraft surface figures. Check "
                       "cfd_analysis_metrics.json for details.");
  fs::remove(in_case("cfd_analysis_metrics.json"));
  EXPECT_EQ(skill_.review_analyze()["note"], "cfd_analysis_metrics.json was not found after the analyze phase.");
}

}  // namespace
}  // namespace orvanta
