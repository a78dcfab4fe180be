#include "host/base/errors.hpp"
#include "module/skill_fixture.hpp"
#include "src/aircraft_run_aero_optimization/optimization_skill.hpp"

#include <gtest/gtest.h>

namespace orvanta {
namespace {
namespace fs = std::filesystem;
using Opt = testing::SkillTest<AircraftRunAeroOptimization>;
using Names = std::vector<std::string>;

void bind(BaseSkill& s) {
  s.inputs["mach_number"] = 0.3;
  s.inputs["solver_name"] = "DARhoSimpleFoam";
  s.inputs["reference_area"] = 20;
  s.inputs["reference_length"] = 1.5;
  s.inputs["reference_span"] = 10;
}

TEST_F(Opt, RunHandsOverTheDriverChain) {
  bind(skill_);
  skill_.inputs["optimizer"] = "ipOpt";
  skill_.inputs["n_cpu_cores"] = 4.0;
  skill_.inputs["reynolds_number"] = 1000000;
  skill_.inputs["volume_constraint"] = -1;
  touch("run_finished.pid");
  skill_.run();
  EXPECT_FALSE(fs::exists(in_case("run_finished.pid")));
  EXPECT_EQ(commands(), (Names{
      "mpirun -np 4 python script_run_dafoam.py -task=run_driver -optimizer=IPOPT -angle_of_attack=2.0 "
      "-mach_number=0.3 -solver_name=DARhoSimpleFoam -turbulence_model=SpalartAllmaras -max_adj_iters=500 "
      "-pc_fill_level=1 -max_flow_iters=600 -reynolds_number=1000000.0 -lift_constraint=0.5 "
      "-le_radius_constraint=0.7 -thickness_constraint=0.5 -volume_constraint=-1.0 -max_opt_iters=100 "
      "-primal_func_std_tol=2e-06 -primal_func_slope_tol=5e-08 -reference_area=20.0 -reference_length=1.5 > "
      "log_optimization.txt 2>&1",
      "reconstructPar -withZero >> log_optimization.txt 2>&1",
      "rm -rf processor* >> log_optimization.txt 2>&1",
      "python script_workflow_helpers.py export-optimization-boundary-vtks --case-dir . >> log_optimization.txt 2>&1",
      "touch run_finished.pid"}));
  host_->clear();
  skill_.inputs["optimizer"] = "slsqp; reboot";
  skill_.run();
  EXPECT_NE(commands()[0].find(" '-optimizer=SLSQP; REBOOT' "), std::string::npos);
}

TEST_F(Opt, ReviewRunNamesEveryMissingOutput) {
  touch("OptView.hst");
  EXPECT_EQ(skill_.review_run()["status"], "running");  // outputs of an earlier run do not count
  touch("run_finished.pid");
  EXPECT_EQ(skill_.review_run()["note"], "Aerodynamic optimization log file is missing: log_optimization.txt");
  touch("log_optimization.txt");
  fs::remove(in_case("OptView.hst"));
  EXPECT_EQ(skill_.review_run()["note"],
            "Aerodynamic optimization did not produce the required files: ['" + in_case("OptView.hst") + "', '" +
                in_case("VTK/boundary_baseline.vtp") + "', '" + in_case("VTK/boundary_optimized.vtp") +
                "']. Check log_optimization.txt for details.");
  for (const char* f : {"OptView.hst", "VTK/boundary_baseline.vtp", "VTK/boundary_optimized.vtp"}) touch(f);
  EXPECT_EQ(skill_.review_run().size(), 3u);
}

TEST_F(Opt, AnalyzeUsesTheOptimizersLogAndBothSurfaces) {
  bind(skill_);
  skill_.inputs["optimizer"] = "snopt";
  set_adv("pressure_profile_fractions", Json::array({0.2, 0.8}));
  skill_.analyze();
  const Names cmds = commands();
  ASSERT_EQ(cmds.size(), 7u);
  EXPECT_EQ(cmds[2], "python script_plot_results.py -mode general_plot_optimization_history -case_dir . -hist_file "
                     "OptView.hst -optimizer_log opt_SNOPT_summary.txt >> log_opt_plots.txt 2>&1");
  EXPECT_NE(cmds[3].find(" -mesh_file VTK/boundary_baseline.vtp VTK/boundary_optimized.vtp >> log_opt_plots.txt"),
            std::string::npos);
  EXPECT_NE(cmds[5].find("-mesh_file VTK/boundary_optimized.vtp -reference_pressure 101325.0"), std::string::npos);
  EXPECT_NE(cmds[5].find("-spanwise_y 1.0 4.0 -spanwise_fractions 0.2 0.8 >> "), std::string::npos);
  EXPECT_EQ(cmds[6], "python script_workflow_helpers.py write-optimization-analysis --log-file opt_SNOPT_summary.txt "
                     "--hist-file OptView.hst --scaling-report-file reports/script_run_dafoam/driver_scaling_report.html "
                     "--vsp-design-vars vsp_design_vars.json --output-file optimization_analysis_metrics.json");
  const Json& gallery = host_->calls()[1]["arguments"];
  EXPECT_EQ(gallery["page"], "optimization.html");
  EXPECT_EQ(gallery["figures"].size(), 15u);
  EXPECT_EQ(gallery["figures"][12], "plots/aircraft_flow_field_U_3d_optimized.png");
  EXPECT_EQ(host_->calls()[2]["arguments"]["vtk_files"],
            Json::array({"VTK/boundary_baseline.vtp", "VTK/boundary_optimized.vtp"}));
  EXPECT_EQ(AircraftRunAeroOptimization::optimizer_log("COBYLA"), "opt_SLSQP.txt");
}

class OptReview : public Opt {
 protected:
  void SetUp() override {
    Opt::SetUp();
    bind(skill_);
    set_adv("pressure_profile_fractions", Json::array({0.5}));
    for (const char* f : {"general_residual_cfd", "general_residual_adjoint", "general_function_cd",
                          "general_function_cl", "general_opt_hst_cd", "general_opt_hst_cl", "general_opt_hst_patchv",
                          "general_opt_hst_feasibility", "general_opt_hst_optimality",
                          "aircraft_flow_field_Cp_3d_baseline", "aircraft_flow_field_Cp_3d_optimized",
                          "aircraft_flow_field_U_3d_baseline", "aircraft_flow_field_U_3d_optimized",
                          "aircraft_pressure_profile_y0p5"})
      touch(std::string("plots/") + f + ".png");
  }
  // Thresholds: objective pass 1 / fail 0 (%), feasibility 1e-3 / 1e-2, drops 3 / 2.
  Json review(Json reduction, Json feasibility, Json flow, Json adjoint, bool nan = false) {
    Json m = {{"has_nan_inf", nan}, {"objective_reduction_pct", reduction}, {"final_feasibility", feasibility},
              {"flow_residual_drop_orders", flow}, {"adjoint_residual_drop_orders", adjoint},
              {"optimizer", "SLSQP"}, {"exit_status", 0}, {"objective_initial", 0.03}, {"objective_final", 0.029},
              {"final_optimality", 1e-4}, {"last_primal_converged", true}, {"last_tol_val", 1e-7},
              {"last_tol_thr", 1e-6}, {"opt_iters", Json::array({0, 1, 2})}, {"final_obj", {{"CD", 0.029}}},
              {"final_con", {{"CL", 0.5}}}, {"baseline_design_variables", {{"twist", 0}}},
              {"optimized_design_variables", {{"twist", -1}}}};
    touch("optimization_analysis_metrics.json", m.dump());
    return skill_.review_analyze();
  }
};

TEST_F(OptReview, PassingRunHasTwentyEightKeysAndNoNote) {
  const Json r = review(3.3, 1e-4, Json{{"p", 4}, {"U", nullptr}}, nullptr);
  EXPECT_EQ(r["status"], "pass");
  EXPECT_EQ(r.size(), 28u);
  EXPECT_EQ(r["major_iterations"], 3);
  EXPECT_EQ(r["final_objective_values"], Json::parse(R"({"CD": 0.029})"));
  EXPECT_EQ(r["review_thresholds"].begin().key(), "obj_drop_min_pct");
  EXPECT_EQ(r["review_thresholds"].size(), 8u);
  EXPECT_EQ(r["plots"][0], "case1/plots/aircraft_flow_field_Cp_3d_baseline.png");
  EXPECT_EQ(r["html_url"], "http://127.0.0.1:8001/optimization.html");
}

TEST_F(OptReview, FailuresAlwaysCountAndOnlyTheFirstWarningIsNoted) {
  EXPECT_EQ(review(nullptr, 1e-4, Json::object(), nullptr)["note"],
            "The optimization reduced the objective by less than 0%.");
  Json r = review(0.5, 0.05, Json{{"p", 4}}, nullptr);
  EXPECT_EQ(r["status"], "fail");
  EXPECT_EQ(r["note"], "The optimization reduced the objective by less than 1%. Final feasibility is larger than 0.01.");
  r = review(5, 0.05, Json{{"p", 2.5}}, nullptr);
  EXPECT_EQ(r["note"], "Final feasibility is larger than 0.01.");
  r = review(0.5, 0.005, Json{{"p", 2.5}}, 2.5);
  EXPECT_EQ(r["status"], "warning");
  EXPECT_EQ(r["note"], "The optimization reduced the objective by less than 1%.");
  r = review(1.0, 1e-3, Json{{"p", 3.0}}, 3.0);  // equal to a threshold: inside the better range
  EXPECT_EQ(r["status"], "pass");
  r = review(5, nullptr, Json{{"p", 1.5}, {"k", nullptr}}, 1.0, true);
  EXPECT_EQ(r["note"], "NaN or Inf was detected in log_optimization.txt. The weakest flow residual dropped by fewer "
                       "than 2 orders. The adjoint residual dropped by fewer than 2 orders.");
  EXPECT_THROW(review(5, nullptr, nullptr, nullptr), TypeError);
  EXPECT_THROW(review(5, "high", Json::object(), nullptr), TypeError);
}

TEST_F(OptReview, MissingFiguresAreListedSorted) {
  fs::remove(in_case("plots/aircraft_pressure_profile_y0p5.png"));
  touch("plots/notes.gif");
  Json r = review(5, nullptr, Json::object(), nullptr);
  EXPECT_EQ(r["note"], "The analyze phase is missing required optimization plots: "
                       "['plots/aircraft_pressure_profile_y0p5.png']");
  EXPECT_EQ(r["plots"].size(), 13u);
  EXPECT_EQ(r.size(), 5u);
}

}  // namespace
}  // namespace orvanta
