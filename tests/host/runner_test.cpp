#include "host/base/errors.hpp"
#include "host/runner/command_runner.hpp"
#include "host/runner/environment.hpp"
#include "host/runner/run_record.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace orvanta::runner {
namespace {
namespace fs = std::filesystem;

class RunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    case_dir_ = (fs::temp_directory_path() / ("orvanta_runner_" + std::to_string(::getpid()) + "_" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                    .string();
    fs::remove_all(case_dir_);
    fs::create_directories(case_dir_);
  }
  void TearDown() override {
    stop_run(case_dir_);
    fs::remove_all(case_dir_);
  }
  CommandRun detached(std::vector<std::string> commands) {
    return CommandRun{case_dir_, "test-skill", std::move(commands), "Background", true, "run"};
  }
  // Polls until the run's process is gone (at most ~10 s).
  void wait_for_end() {
    for (int i = 0; i < 200; ++i) {
      const auto r = load_run_record(case_dir_);
      if (r && !run_is_alive(case_dir_, *r)) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    FAIL() << "run did not end";
  }
  std::string read(const std::string& rel) {
    std::ifstream f(fs::path(case_dir_) / rel);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  }
  std::string case_dir_;
};

TEST_F(RunnerTest, DetachedChainRunsInOrderInOneShellWithoutStoppingOnFailure) {
  run_detached(detached({"X=kept; echo one > log_a.txt 2>&1", "false", "echo $X >> log_a.txt 2>&1",
                         "pwd >> log_a.txt", "touch run_finished.pid"}));
  wait_for_end();
  EXPECT_EQ(read("log_a.txt"), "one\nkept\n" + fs::canonical(case_dir_).string() + "\n");
  EXPECT_TRUE(fs::exists(fs::path(case_dir_) / "run_finished.pid"));
  const auto exit = load_run_exit(case_dir_);
  ASSERT_TRUE(exit);
  EXPECT_EQ(exit->status, 0);
  EXPECT_EQ(exit->index, 4);
}

TEST_F(RunnerTest, ExitInTheChainIsReportedAsFailedWithItsCommand) {
  run_detached(detached({"echo start > log_x.txt", "echo boom >> log_x.txt; false || exit 200",
                         "touch run_finished.pid"}));
  wait_for_end();
  EXPECT_FALSE(fs::exists(fs::path(case_dir_) / "run_finished.pid"));
  const Json r = review_pending_run(case_dir_, "test-skill", "still running");
  EXPECT_EQ(r["status"], "fail");
  EXPECT_EQ(r["exit_status"], 200);
  EXPECT_EQ(r["command_index"], 2);
  EXPECT_EQ(r["log_file"], "log_x.txt");
  EXPECT_EQ(r["log_tail"], Json::array({"start", "boom"}));
  EXPECT_EQ(r["note"],
            "The background run ended without creating run_finished.pid: exit status 200 at command 2 of 3 (echo "
            "boom >> log_x.txt; false || exit 200).");
}

TEST_F(RunnerTest, RunningChainIsReportedWithItsCommandAndAKilledOneAsFailed) {
  run_detached(detached({"echo working > log_w.txt", "sleep 30 >> log_w.txt 2>&1", "touch run_finished.pid"}));
  Json r;
  for (int i = 0; i < 100; ++i) {
    r = review_pending_run(case_dir_, "test-skill", "Still running.");
    if (r["command_index"] == 2) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(r["status"], "running");
  EXPECT_EQ(r["note"], "Still running.");
  EXPECT_EQ(r["command"], "sleep 30 >> log_w.txt 2>&1");
  EXPECT_EQ(r["log_tail"], Json::array({"working"}));
  EXPECT_GE(r["elapsed_seconds"].get<double>(), 0.0);

  // A second run in a case with an active run is refused.
  EXPECT_THROW(run_detached(detached({"true"})), RuntimeError);

  EXPECT_TRUE(stop_run(case_dir_));
  wait_for_end();
  r = review_pending_run(case_dir_, "test-skill", "Still running.");
  EXPECT_EQ(r["status"], "fail");
  EXPECT_EQ(r["command_index"], 2);
  EXPECT_EQ(r["exit_status"], 143);
  EXPECT_NE(r["note"].get<std::string>().find("sleep 30"), std::string::npos);
  EXPECT_NE(r["note"].get<std::string>().find("terminated: the run was stopped or killed"), std::string::npos);
}

TEST_F(RunnerTest, ACommandDeafToTerminationIsKilledAndTheKillRecorded) {
  run_detached(detached({"echo deaf > log_k.txt", "(trap '' TERM; touch deaf; sleep 30)", "touch run_finished.pid"}));
  for (int i = 0; i < 100 && !fs::exists(fs::path(case_dir_) / "deaf"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(stop_run(case_dir_));
  const Json r = review_pending_run(case_dir_, "test-skill", "Still running.");
  EXPECT_EQ(r["status"], "fail");
  EXPECT_EQ(r["exit_status"], 137);
  EXPECT_EQ(r["command_index"], 2);
  EXPECT_NE(r["note"].get<std::string>().find("exit status 137 (killed) at command 2 of 3"), std::string::npos);
}

TEST_F(RunnerTest, DirectChainWaitsAndReportsTheShellsExitStatus) {
  CommandRun run{case_dir_, "s", {"echo a > log_d.txt", "exit 3", "echo never >> log_d.txt"}, "Direct", false, "analyze"};
  const Json r = run_direct(run);
  EXPECT_EQ(r["exit_status"], 3);
  EXPECT_EQ(read("log_d.txt"), "a\n");
  // Unredirected output stays out of the caller's streams.
  run.commands = {"echo to-the-host-log"};
  run_direct(run);
  EXPECT_EQ(read(".orvanta/analyze_output.txt"), "to-the-host-log\n");
}

TEST_F(RunnerTest, NoRunYetIsAFailureNotAnEndlessWait) {
  EXPECT_EQ(review_pending_run(case_dir_, "s", "x")["status"], "fail");
  EXPECT_THROW(run_detached(CommandRun{case_dir_ + "/missing", "s", {"true"}, "Background", true, "run"}),
               FileNotFoundError);
}

TEST_F(RunnerTest, CommandsSeeOpenFoamMpiAndTheScriptPython) {
  setenv("ORVANTA_PYTHON", "/usr/bin/python3", 1);
  CommandRun run{case_dir_, "s",
                 {"python -c 'import os, sys, numpy, matplotlib; print(os.path.realpath(sys.executable))' > env.txt",
                  "echo $OMPI_ALLOW_RUN_AS_ROOT $OMPI_ALLOW_RUN_AS_ROOT_CONFIRM >> env.txt",
                  "test -n \"$WM_PROJECT_DIR\" || test ! -d /usr/share/openfoam && echo foam-ok >> env.txt",
                  "test -x \"$ORVANTA_BIN\" && echo bin-ok >> env.txt"},
                 "Direct", false, "analyze"};
  run_direct(run);
  EXPECT_EQ(read("env.txt"), fs::canonical("/usr/bin/python3").string() + "\n1 1\nfoam-ok\nbin-ok\n");
}

// Working directories whose names a shell would split or run as commands. The chain's exit
// trap must still record the status, and nothing in the name may run.
TEST(RunnerQuoting, ExitStatusIsRecordedWhateverTheWorkingDirectoryIsCalled) {
  const fs::path root = fs::temp_directory_path() / ("orvanta_runner_quoting_" + std::to_string(::getpid()));
  fs::remove_all(root);
  for (const std::string work_dir : {"w;touch X;x", "it's a work dir"}) {
    SCOPED_TRACE(work_dir);
    const std::string case_dir = (root / work_dir / "case_q").string();
    fs::create_directories(case_dir);
    run_detached(CommandRun{case_dir, "s", {"echo one > log_q.txt; false || exit 5", "touch run_finished.pid"},
                            "Background", true, "run"});
    for (int i = 0; i < 200; ++i) {
      const auto r = load_run_record(case_dir);
      if (r && !run_is_alive(case_dir, *r)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const auto exit = load_run_exit(case_dir);
    EXPECT_EQ(exit ? std::pair(exit->status, exit->index) : std::pair(-1, -1), std::pair(5, 0));
    const Json r = review_pending_run(case_dir, "s", "Still running.");
    EXPECT_EQ(r["status"], "fail");
    EXPECT_EQ(r["exit_status"], 5);
    EXPECT_EQ(r["log_tail"], Json::array({"one"}));
    EXPECT_EQ(r["note"],
              "The background run ended without creating run_finished.pid: exit status 5 at command 1 of 2 (echo one "
              "> log_q.txt; false || exit 5).");
  }
  for (const auto& entry : fs::recursive_directory_iterator(root))
    EXPECT_NE(entry.path().filename(), "X") << entry.path();
  fs::remove_all(root);
}

TEST(RunRecord, FindsTheLogACommandWrites) {
  EXPECT_EQ(command_log_file("blockMesh >> log_mesh.txt 2>&1"), "log_mesh.txt");
  EXPECT_EQ(command_log_file("./Allclean.sh > log_geometry.txt 2>&1"), "log_geometry.txt");
  EXPECT_EQ(command_log_file("mv VTK/*/boundary.vtp VTK/ >> log_mesh.txt 2>&1 || true"), "log_mesh.txt");
  EXPECT_EQ(command_log_file("touch run_finished.pid"), "");
  EXPECT_EQ(command_log_file("python a.py > log_a.txt 2>&1 || exit $?"), "log_a.txt");
}

}  // namespace
}  // namespace orvanta::runner
