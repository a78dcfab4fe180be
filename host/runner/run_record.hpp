#pragma once
// What the host remembers about the background run of a case, in <case>/.orvanta/:
//   run.json      pid, process start tick, start time, skill, phase, commands
//   run.lock      held while a run is checked, started and recorded
//   run.sh        the command chain as one bash script
//   run_index     index of the command being run (written by the script)
//   run_exit      "<exit status> <index>" written by the script when its shell exits

#include "host/base/values.hpp"
#include "host/runner/processes.hpp"

#include <optional>
#include <string>
#include <vector>

namespace orvanta::runner {

struct RunRecord {
  long pid = 0;
  unsigned long long start_tick = 0;  // process start time in clock ticks, guards against pid reuse
  double started_at = 0;              // seconds since the epoch
  std::string skill, phase;
  std::vector<std::string> commands;
};

std::string state_dir(const std::string& case_dir);

std::optional<RunRecord> load_run_record(const std::string& case_dir);
void save_run_record(const std::string& case_dir, const RunRecord& record);

// Index of the command being run, or -1 before the first.
int current_command_index(const std::string& case_dir);

struct RunExit {
  int status = 0;
  int index = -1;
};
// How the chain's shell ended, when it ended normally enough to say so.
std::optional<RunExit> load_run_exit(const std::string& case_dir);
void save_run_exit(const std::string& case_dir, const RunExit& exit);

// The chain script as its shell was started with: a live run's shell is `bash <this>`.
std::string run_script_path(const std::string& case_dir);

// True while the run lives: its shell (the group leader) is the recorded process, or the shell
// is gone and processes of its group still run (an mpirun whose shell was killed). A record
// that cannot name a run started here is never alive: pid <= 1, no start tick, or a live pid
// whose start tick or command line is not the recorded shell's.
bool run_is_alive(const std::string& case_dir, const RunRecord& record);

// The log a command writes (target of its last `>`/`>>` redirection), or empty.
std::string command_log_file(const std::string& command);

// The last `max_lines` lines of a file (at most `max_bytes` read from its end).
std::vector<std::string> tail_lines(const std::string& path, size_t max_lines = 12, size_t max_bytes = 8192);

}  // namespace orvanta::runner
