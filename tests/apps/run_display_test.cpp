#include "apps/orvanta/case_state.hpp"
#include "apps/orvanta/run_display.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace orvanta::app {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

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

// A sink writing into a string, on a clock the test moves by hand.
struct FakeSink {
  std::ostringstream text;
  std::chrono::steady_clock::time_point now{};
  ProgressSink sink(bool terminal, int columns = 0) {
    return {&text, terminal, columns, [this] { return now; }};
  }
  void advance(std::chrono::milliseconds step) { now += step; }
};

// A log (CI, a file) gets whole lines, no control characters, one per stage change and
// otherwise at most one per 10 s, however often the case is polled.
TEST(ProgressDisplayTest, ALogGetsALinePerStageAndAtMostOneEveryTenSeconds) {
  FakeSink fake;
  ProgressDisplay display(fake.sink(false, 80));
  display.update("running/review_run/running/1", "a 0 s");
  for (auto step : {2000ms, 2000ms, 2000ms, 2000ms, 1999ms}) {  // 9.999 s in: still inside the interval
    fake.advance(step);
    display.update("running/review_run/running/1", "b");
  }
  fake.advance(1ms);
  display.update("running/review_run/running/1", "c 10 s");
  fake.advance(2000ms);
  display.update("running/review_run/running/2", "d next command");
  fake.advance(2000ms);
  display.update("running/review_run/running/2", "e");
  fake.advance(8000ms);
  display.update("running/review_run/running/2", "f 10 s after d");
  display.finish();
  EXPECT_EQ(fake.text.str(), "a 0 s\nc 10 s\nd next command\nf 10 s after d\n");
}

// A terminal gets one line rewritten on every poll, cut short of the last column so it never
// wraps (a wrapped line would leave a copy behind at each rewrite), and cleared at the end.
TEST(ProgressDisplayTest, ATerminalLineIsRewrittenInPlaceCutToTheWidthAndClearedAtTheEnd) {
  FakeSink fake;
  ProgressDisplay display(fake.sink(true, 8));
  display.finish();  // nothing drawn yet: nothing to clear
  display.update("s", "short");
  fake.advance(1000ms);
  display.update("s", "exactly8");
  display.update("s", "abcdef\xC3\xA9gh");  // the cut falls inside a two-byte character
  display.finish();
  display.finish();
  EXPECT_EQ(fake.text.str(), "\rshort\033[K\rexactly\033[K\rabcdef\033[K\r\033[K");

  FakeSink unknown_width;
  ProgressDisplay wide(unknown_width.sink(true, 0));
  wide.update("s", std::string(300, '#'));
  EXPECT_EQ(unknown_width.text.str(), "\r" + std::string(300, '#') + "\033[K");
}

// The stage follows the state, the phase and the command, not the clock or the solver's
// iteration, so a log gets a line when the run moves on but not on every poll.
TEST(ProgressDisplayTest, TheStageChangesWithStatePhaseAndCommandOnly) {
  const Json poll = {{"state", "running"},
                     {"results", Json::array({{{"phase", "review_run"}, {"status", "running"},
                                               {"command_index", 3}, {"elapsed_seconds", 12.5}}})}};
  Json later = poll;
  later["results"][0]["elapsed_seconds"] = 40.0;
  EXPECT_EQ(progress_stage(later), progress_stage(poll));
  Json next_command = poll;
  next_command["results"][0]["command_index"] = 4;
  EXPECT_NE(progress_stage(next_command), progress_stage(poll));
  Json passed = poll;
  passed["state"] = "run_passed";
  passed["results"][0]["status"] = "pass";
  EXPECT_NE(progress_stage(passed), progress_stage(poll));
  EXPECT_NO_THROW(progress_stage(Json{{"state", "created"}, {"results", Json::array()}}));
}

}  // namespace
}  // namespace orvanta::app
