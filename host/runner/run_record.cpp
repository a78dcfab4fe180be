#include "host/runner/run_record.hpp"

#include "host/base/json_file.hpp"
#include "host/base/paths.hpp"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <regex>
#include <sstream>

namespace orvanta::runner {
namespace fs = std::filesystem;

namespace {

// A field of the wrong kind reads as absent, so a mangled record names no process.
template <class T>
T field_or(const Json& j, const char* key, bool (Json::*is_kind)() const noexcept, T fallback) {
  const auto it = j.find(key);
  return it != j.end() && ((*it).*is_kind)() ? it->template get<T>() : fallback;
}

}  // namespace

std::string state_dir(const std::string& case_dir) { return (fs::path(case_dir) / ".orvanta").string(); }

std::optional<RunRecord> load_run_record(const std::string& case_dir) {
  const fs::path path = fs::path(state_dir(case_dir)) / "run.json";
  if (!fs::is_regular_file(path)) return std::nullopt;
  const Json j = read_json_object_file(path.string());
  RunRecord r;
  r.pid = field_or(j, "pid", &Json::is_number_integer, 0L);
  r.start_tick = field_or(j, "start_tick", &Json::is_number_unsigned, 0ULL);
  r.started_at = field_or(j, "started_at", &Json::is_number, 0.0);
  r.skill = field_or(j, "skill", &Json::is_string, std::string());
  r.phase = field_or(j, "phase", &Json::is_string, std::string());
  for (const auto& c : field_or(j, "commands", &Json::is_array, Json::array()))
    r.commands.push_back(c.is_string() ? c.get<std::string>() : c.dump());
  return r;
}

void save_run_record(const std::string& case_dir, const RunRecord& r) {
  Json j = Json::object();
  j["pid"] = r.pid;
  j["start_tick"] = r.start_tick;
  j["started_at"] = r.started_at;
  j["skill"] = r.skill;
  j["phase"] = r.phase;
  j["commands"] = r.commands;
  write_json_file_atomic((fs::path(state_dir(case_dir)) / "run.json").string(), j);
}

int current_command_index(const std::string& case_dir) {
  std::ifstream f(fs::path(state_dir(case_dir)) / "run_index");
  int index = -1;
  if (f) f >> index;
  return f ? index : -1;
}

std::optional<RunExit> load_run_exit(const std::string& case_dir) {
  std::ifstream f(fs::path(state_dir(case_dir)) / "run_exit");
  RunExit e;
  if (!(f >> e.status >> e.index)) return std::nullopt;
  return e;
}

void save_run_exit(const std::string& case_dir, const RunExit& exit) {
  const fs::path path = fs::path(state_dir(case_dir)) / "run_exit";
  std::ofstream(path.string() + ".tmp") << exit.status << ' ' << exit.index << '\n';
  fs::rename(path.string() + ".tmp", path);
}

std::string run_script_path(const std::string& case_dir) {
  return (fs::absolute(state_dir(case_dir)) / "run.sh").string();
}

namespace {

bool names_a_run(const RunRecord& r) {
  return r.pid > 1 && r.pid <= std::numeric_limits<pid_t>::max() && r.start_tick != 0;
}

enum class Shell { chain, foreign, exiting };

// A process in its exit has released its memory and shows an empty command line: what it was
// is then told by its start tick alone.
Shell classify_shell(const std::string& case_dir, long pid) {
  const auto args = process_command_line(pid);
  if (args.empty()) return Shell::exiting;
  if (args.size() != 2 || args[0] != "bash" || !fs::path(args[1]).is_absolute()) return Shell::foreign;
  std::error_code started_error, expected_error;
  const fs::path started = fs::weakly_canonical(args[1], started_error);
  const fs::path expected = fs::weakly_canonical(run_script_path(case_dir), expected_error);
  return !started_error && !expected_error && started == expected ? Shell::chain : Shell::foreign;
}

}  // namespace

bool run_is_alive(const std::string& case_dir, const RunRecord& r) {
  if (!names_a_run(r)) return false;
  if (const auto tick = process_start_tick(r.pid)) {
    if (*tick != r.start_tick) return false;
    const Shell shell = classify_shell(case_dir, r.pid);
    if (shell != Shell::exiting) return shell == Shell::chain;
  }
  // The shell is gone or going. The kernel keeps its pid out of reuse while its group has
  // members, and every member was started after the shell.
  for (const auto& member : process_group_members(r.pid))
    if (member.start_tick >= r.start_tick) return true;
  return false;
}

std::string command_log_file(const std::string& command) {
  static const std::regex redirect(R"((?:^|\s)>{1,2}\s*([^\s&|;<>]+))");
  std::string last;
  for (auto it = std::sregex_iterator(command.begin(), command.end(), redirect); it != std::sregex_iterator(); ++it)
    last = (*it)[1];
  return last;
}

std::vector<std::string> tail_lines(const std::string& path, size_t max_lines, size_t max_bytes) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return {};
  f.seekg(0, std::ios::end);
  const std::streamoff size = f.tellg();
  const std::streamoff from = size > static_cast<std::streamoff>(max_bytes) ? size - max_bytes : 0;
  f.seekg(from);
  std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  text = drop_invalid_utf8(text);
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  bool first = from > 0;  // a partial first line is dropped
  while (std::getline(in, line)) {
    if (first) { first = false; continue; }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Progress bars rewrite a line with carriage returns: keep what was shown last.
    if (const auto cr = line.rfind('\r'); cr != std::string::npos) line = line.substr(cr + 1);
    lines.push_back(line);
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (lines.size() > max_lines) lines.erase(lines.begin(), lines.end() - static_cast<long>(max_lines));
  return lines;
}

}  // namespace orvanta::runner
