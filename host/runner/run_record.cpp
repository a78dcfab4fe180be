#include "host/runner/run_record.hpp"

#include "host/base/json_file.hpp"
#include "host/base/paths.hpp"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace orvanta::runner {
namespace fs = std::filesystem;

std::string state_dir(const std::string& case_dir) { return (fs::path(case_dir) / ".orvanta").string(); }

std::optional<RunRecord> load_run_record(const std::string& case_dir) {
  const fs::path path = fs::path(state_dir(case_dir)) / "run.json";
  if (!fs::is_regular_file(path)) return std::nullopt;
  const Json j = read_json_object_file(path.string());
  RunRecord r;
  r.pid = j.value("pid", 0L);
  r.start_tick = j.value("start_tick", 0ULL);
  r.started_at = j.value("started_at", 0.0);
  r.skill = j.value("skill", "");
  r.phase = j.value("phase", "");
  if (j.contains("commands")) r.commands = j.at("commands").get<std::vector<std::string>>();
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

std::optional<unsigned long long> process_start_tick(long pid) {
  if (pid <= 0) return std::nullopt;
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(f, stat)) return std::nullopt;
  // The command name (field 2) may hold blanks and parentheses: fields resume after the last ')'.
  const auto close = stat.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream rest(stat.substr(close + 2));
  std::string state;
  rest >> state;
  if (state == "Z" || state == "X") return std::nullopt;
  std::string field;
  for (int i = 4; i <= 21; ++i) rest >> field;  // fields 4..21
  unsigned long long start = 0;
  rest >> start;                               // field 22: start time
  return rest ? std::optional(start) : std::nullopt;
}

bool run_is_alive(const RunRecord& r) {
  const auto tick = process_start_tick(r.pid);
  return tick && (r.start_tick == 0 || *tick == r.start_tick);
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
