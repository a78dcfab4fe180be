// Run tracking with real processes: a run lives as long as its process group, concurrent starts
// give one chain, and a run record that does not name a chain of this case is never acted on.
#include "host/base/errors.hpp"
#include "host/base/json_file.hpp"
#include "host/runner/command_runner.hpp"
#include "host/runner/run_record.hpp"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace orvanta::runner {
namespace {
namespace fs = std::filesystem;

bool eventually(const std::function<bool()>& condition) {
  for (int i = 0; i < 200; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// Live shells running the chain script of `case_dir`, found without the run record.
std::vector<long> chain_shells(const std::string& case_dir) {
  std::vector<long> shells;
  DIR* proc = opendir("/proc");
  if (!proc) return shells;
  while (const dirent* entry = readdir(proc)) {
    const std::string name = entry->d_name;
    if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit)) continue;
    const long pid = std::stol(name);
    if (process_start_tick(pid) && process_command_line(pid) == std::vector<std::string>{"bash", run_script_path(case_dir)})
      shells.push_back(pid);
  }
  closedir(proc);
  return shells;
}

class RunnerTracking : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("orvanta_tracking_" + std::to_string(::getpid()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    case_dir_ = make_case("case_a");
  }
  void TearDown() override {
    for (const auto& entry : fs::directory_iterator(root_)) {
      stop_run(entry.path().string());
      // Chains the record does not know of (a start that should have been refused).
      for (long shell : chain_shells(entry.path().string())) kill(-static_cast<pid_t>(shell), SIGKILL);
    }
    fs::remove_all(root_);
  }
  std::string make_case(const std::string& name) {
    const fs::path dir = root_ / name;
    fs::create_directories(dir);
    return dir.string();
  }
  CommandRun detached(std::vector<std::string> commands, const std::string& case_dir = "") {
    return CommandRun{case_dir.empty() ? case_dir_ : case_dir, "test-skill", std::move(commands), "Background", true,
                      "run"};
  }
  std::string read(const std::string& rel) {
    std::ifstream f(fs::path(case_dir_) / rel);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  }
  void write_record(const std::string& case_dir, const Json& record) {
    write_json_file_atomic((fs::path(state_dir(case_dir)) / "run.json").string(), record);
  }
  fs::path root_;
  std::string case_dir_;
};

TEST_F(RunnerTracking, ChildrenOfAKilledShellKeepTheRunAliveUntilTheGroupIsStopped) {
  const std::string solver = "sh -c 'echo $$ > solver.pid; exec sleep 30'";
  run_detached(detached({"echo started > log_g.txt", solver, "touch run_finished.pid"}));
  ASSERT_TRUE(eventually([&] { return !read("solver.pid").empty(); }));
  const long solver_pid = std::stol(read("solver.pid"));
  const auto record = load_run_record(case_dir_);
  ASSERT_TRUE(record);
  kill(static_cast<pid_t>(record->pid), SIGKILL);  // the shell only, as an out-of-memory kill would
  ASSERT_TRUE(eventually([&] { return !process_start_tick(record->pid); }));
  ASSERT_TRUE(process_start_tick(solver_pid));

  Json r = review_pending_run(case_dir_, "test-skill", "Still running.");
  EXPECT_EQ(r["status"], "running");
  EXPECT_EQ(r["command_index"], 2);
  EXPECT_EQ(r["command"], solver);
  try {
    run_detached(detached({"touch second_run"}));
    ADD_FAILURE() << "a second run was accepted while the first one's solver runs";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(std::string(e.what()), "A run is already active in " + case_dir_ + " (pid " +
                                         std::to_string(record->pid) +
                                         ", phase run). Wait for it to finish or stop it before starting another.");
  }

  EXPECT_TRUE(stop_run(case_dir_));
  EXPECT_FALSE(process_start_tick(solver_pid));
  EXPECT_FALSE(fs::exists(fs::path(case_dir_) / "second_run"));
  r = review_pending_run(case_dir_, "test-skill", "Still running.");
  EXPECT_EQ(r["status"], "fail");
  EXPECT_EQ(r["note"], "The background run was stopped or killed at command 2 of 3 (" + solver +
                           ") without creating run_finished.pid.");
  EXPECT_FALSE(stop_run(case_dir_));
}

// Four processes start a run in one case at the same moment, as four `orvanta phase ... run` would.
TEST_F(RunnerTracking, ConcurrentStartsInOneCaseStartOneChainAndRefuseTheOthers) {
  int gate[2];
  ASSERT_EQ(pipe(gate), 0);
  std::vector<pid_t> starters;
  for (int i = 0; i < 4; ++i) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid > 0) {
      starters.push_back(pid);
      continue;
    }
    close(gate[1]);
    char byte;
    (void)!::read(gate[0], &byte, 1);  // end of file once the parent opens the gate
    try {
      run_detached(detached({"echo $$ >> starts.txt", "sleep 30"}));
      _exit(0);
    } catch (const RuntimeError& e) {
      _exit(std::string(e.what()).rfind("A run is already active in " + case_dir_ + " (pid ", 0) == 0 ? 1 : 2);
    } catch (...) {
      _exit(3);
    }
  }
  close(gate[0]);
  close(gate[1]);
  std::vector<int> outcomes;
  for (pid_t pid : starters) {
    int status = 0;
    waitpid(pid, &status, 0);
    outcomes.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  }
  std::sort(outcomes.begin(), outcomes.end());
  EXPECT_EQ(outcomes, (std::vector<int>{0, 1, 1, 1}));

  ASSERT_TRUE(eventually([&] { return !read("starts.txt").empty(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // time for a stray chain to show itself
  const auto record = load_run_record(case_dir_);
  ASSERT_TRUE(record);
  EXPECT_EQ(read("starts.txt"), std::to_string(record->pid) + "\n");
  EXPECT_EQ(chain_shells(case_dir_), std::vector<long>{record->pid});
}

// A run record that names nothing this host started is not a run: it neither shows as running
// nor blocks a new start. stop_run is not called on these: a fault there would signal pid 1's
// group, that is every process on the machine.
TEST_F(RunnerTracking, RecordsThatNameNoChainOfTheCaseAreNotRuns) {
  const auto init_tick = process_start_tick(1);
  ASSERT_TRUE(init_tick);
  struct DropRecords {
    std::string dir;
    ~DropRecords() { fs::remove_all(dir); }
  } drop_records{state_dir(case_dir_)};  // so that TearDown's stop never meets one of these
  const std::vector<Json> bogus = {
      {{"pid", 1}, {"start_tick", *init_tick}, {"phase", "run"}, {"commands", {"sleep 30"}}},
      {{"pid", 0}, {"start_tick", 1}, {"phase", "run"}, {"commands", {"sleep 30"}}},
      {{"pid", -7}, {"start_tick", 1}, {"phase", "run"}, {"commands", {"sleep 30"}}},
      {{"pid", "1"}, {"start_tick", "soon"}, {"phase", 3}, {"commands", "sleep 30"}},
  };
  for (const Json& record : bogus) {
    SCOPED_TRACE(record.dump());
    fs::remove_all(state_dir(case_dir_));
    write_record(case_dir_, record);
    EXPECT_FALSE(run_is_alive(case_dir_, *load_run_record(case_dir_)));
    EXPECT_EQ(review_pending_run(case_dir_, "test-skill", "Still running.")["status"], "fail");
    fs::remove(fs::path(case_dir_) / "accepted");
    EXPECT_NO_THROW(run_detached(detached({"touch accepted"})));
    EXPECT_TRUE(eventually([&] {
      const auto started = load_run_record(case_dir_);
      return fs::exists(fs::path(case_dir_) / "accepted") && started && !run_is_alive(case_dir_, *started);
    }));
  }
}

// A live process that the record names by pid but that is not this case's chain: the record
// copied from another case, a start tick of 0, a start tick of another process.
TEST_F(RunnerTracking, ALiveProcessThatDoesNotMatchTheRecordIsNeverSignalled) {
  const std::string other_case = make_case("case_b");
  run_detached(detached({"sleep 30"}, other_case));
  const auto other = load_run_record(other_case);
  ASSERT_TRUE(other);
  ASSERT_TRUE(eventually([&] { return chain_shells(other_case).size() == 1; }));
  const Json copied = {{"pid", other->pid}, {"start_tick", other->start_tick}, {"phase", "run"}, {"commands", {"x"}}};
  write_record(case_dir_, copied);
  EXPECT_FALSE(stop_run(case_dir_));
  EXPECT_EQ(review_pending_run(case_dir_, "test-skill", "Still running.")["status"], "fail");
  EXPECT_TRUE(run_is_alive(other_case, *other));

  run_detached(detached({"sleep 30"}));
  const auto own = load_run_record(case_dir_);
  ASSERT_TRUE(own);
  for (unsigned long long tick : {0ULL, own->start_tick + 1}) {
    SCOPED_TRACE(tick);
    Json changed = {{"pid", own->pid}, {"start_tick", tick}, {"phase", "run"}, {"commands", {"sleep 30"}}};
    write_record(case_dir_, changed);
    EXPECT_FALSE(stop_run(case_dir_));
    EXPECT_EQ(review_pending_run(case_dir_, "test-skill", "Still running.")["status"], "fail");
    EXPECT_TRUE(process_start_tick(own->pid));
  }
  save_run_record(case_dir_, *own);
  EXPECT_TRUE(stop_run(case_dir_));
  EXPECT_FALSE(process_start_tick(own->pid));
  EXPECT_TRUE(run_is_alive(other_case, *other));
}

}  // namespace
}  // namespace orvanta::runner
