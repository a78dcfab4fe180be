#include "host/runner/command_runner.hpp"
#include "host/runner/run_record.hpp"

#include <chrono>
#include <cmath>
#include <filesystem>

namespace orvanta::runner {
namespace fs = std::filesystem;
namespace {

Json result_head(const std::string& skill, const std::string& status, const std::string& note) {
  Json r = Json::object();
  r["phase"] = "review_run";
  r["skill"] = skill;
  r["status"] = status;
  r["note"] = note;
  return r;
}

// Where the chain is: its command, and the tail of the log that command writes.
void add_position(Json& r, const std::string& case_dir, const RunRecord& record, int index) {
  const int n = static_cast<int>(record.commands.size());
  r["command_index"] = index >= 0 ? Json(index + 1) : Json();
  r["n_commands"] = n;
  r["command"] = index >= 0 && index < n ? Json(record.commands[index]) : Json();
  const std::string log = index >= 0 && index < n ? command_log_file(record.commands[index]) : "";
  r["log_file"] = log.empty() ? Json() : Json(log);
  r["log_tail"] = log.empty() ? Json::array() : Json(tail_lines((fs::path(case_dir) / log).string()));
}

double elapsed_since(double started_at) {
  const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  return std::round((now - started_at) * 10.0) / 10.0;
}

// The chain shell records 128 + n when signal n (HUP, INT, TERM) ends it; a stop that had
// to kill it records 137.
std::string signal_note(int status) {
  switch (status) {
    case 129: return " (hang-up signal: the run's terminal went away)";
    case 130: return " (interrupted)";
    case 137: return " (killed)";
    case 143: return " (terminated: the run was stopped or killed)";
    default: return "";
  }
}

}  // namespace

Json review_pending_run(const std::string& case_dir, const std::string& skill, const std::string& note) {
  const auto record = load_run_record(case_dir);
  if (!record)
    return result_head(skill, "fail", "No run has been started in this case yet: call run first.");

  if (run_is_alive(case_dir, *record)) {
    Json r = result_head(skill, "running", note);
    add_position(r, case_dir, *record, current_command_index(case_dir));
    r["elapsed_seconds"] = elapsed_since(record->started_at);
    return r;
  }

  // The chain may have created the marker between the caller's check and ours.
  if (fs::is_regular_file(fs::path(case_dir) / "run_finished.pid"))
    return result_head(skill, "running", "The run has just finished: call review_run again to see its result.");

  const auto exit = load_run_exit(case_dir);
  const int index = exit ? exit->index : current_command_index(case_dir);
  const int n = static_cast<int>(record->commands.size());
  const std::string where = index >= 0 && index < n
                                ? "command " + std::to_string(index + 1) + " of " + std::to_string(n) + " (" +
                                      record->commands[index] + ")"
                                : "its start";
  std::string message;
  if (exit)
    message = "The background run ended without creating run_finished.pid: exit status " +
              std::to_string(exit->status) + signal_note(exit->status) + " at " + where + ".";
  else
    message = "The background run was stopped or killed at " + where + " without creating run_finished.pid.";
  Json r = result_head(skill, "fail", message);
  r["exit_status"] = exit ? Json(exit->status) : Json();
  add_position(r, case_dir, *record, index);
  return r;
}

}  // namespace orvanta::runner
