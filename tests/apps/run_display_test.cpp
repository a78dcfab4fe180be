#include "apps/orvanta/case_state.hpp"
#include "apps/orvanta/run_display.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace orvanta::app {
namespace {
namespace fs = std::filesystem;

class RunDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("orvanta_display_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

// An optimization shows its major iterations (the flow log's iteration restarts with every
// solution, so against max_flow_iters it would say nothing about how far the run is).
TEST_F(RunDisplayTest, OptimizationsShowMajorIterationsAgainstTheirLimitOtherRunsTheirCommand) {
  const Json running = {{"command_index", 2}, {"n_commands", 5}, {"command", "mpirun -np 2 python x.py > log 2>&1"}};
  auto [fraction, label] = run_progress(dir_.string(), running);
  EXPECT_EQ(label, "command 2/5: mpirun -np 2 python x.py");
  EXPECT_DOUBLE_EQ(fraction, 0.2);

  save_case_inputs(dir_.string(), Json{{"max_opt_iters", 10}});
  std::ofstream(dir_ / "opt_SLSQP.txt") << "SLSQP on 3 variables (a, b, angle_of_attack), 1 equality\n"
                                        << " Iter     Objective           CD\n"
                                        << "    0     1.0000000   0.05140685\n"
                                        << "    1     0.9991810   0.05136475\n"
                                        << "    2     0.9992390   0.05136773\n";
  std::tie(fraction, label) = run_progress(dir_.string(), running);
  EXPECT_EQ(label, "major iteration 2/10");
  EXPECT_DOUBLE_EQ(fraction, 0.2);
  std::ofstream(dir_ / "opt_SLSQP.txt", std::ios::app) << "Exit: Iteration limit reached\n";
  EXPECT_EQ(run_progress(dir_.string(), running).second, "major iteration 2/10");
}

}  // namespace
}  // namespace orvanta::app
