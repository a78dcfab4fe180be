#include "apps/orvanta/run_display.hpp"

#include "apps/orvanta/case_state.hpp"
#include "host/runner/run_record.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <regex>
#include <sstream>

namespace orvanta::app {
namespace fs = std::filesystem;
namespace {

// The numbers a person looks at first, in this order, for whichever phase result carries them.
const char* const kKeyNumbers[] = {
    "n_cells", "max_nonorthogonality", "max_skewness", "max_aspect_ratio", "final_cd", "final_cl", "final_cm",
    "cd_stddev", "residual_drop_orders", "objective_initial", "objective_final", "objective_reduction_pct",
    "final_feasibility", "major_iterations", "exit_status", "command_index", "n_commands", "elapsed_seconds"};

std::string shown(const Json& v) {
  if (v.is_number_float()) return g_format(v.get<double>());
  if (v.is_string()) return v.get<std::string>();
  return v.dump();
}

// The last "Time = N" of the solver log against the configured iteration limit.
std::optional<std::pair<long, long>> solver_iterations(const std::string& case_dir, const Json& result) {
  const std::string log = result.value("log_file", Json()).is_string() ? result["log_file"].get<std::string>() : "";
  if (log.empty()) return std::nullopt;
  static const std::regex time_re(R"(^Time = (\d+))");
  long last = -1;
  std::smatch m;
  for (const auto& line : runner::tail_lines((fs::path(case_dir) / log).string(), 400, 65536))
    if (std::regex_search(line, m, time_re)) last = std::stol(m[1]);
  if (last < 0) return std::nullopt;
  long max_iters = 0;
  try {
    const Json skill = load_case_record(case_dir).value("skill", "");
    const Json params = load_adv_params(skill.get<std::string>(), load_case_record(case_dir).value("adv_overrides", Json::object()));
    max_iters = static_cast<long>(to_int(adv_value(params, "max_flow_iters")));
  } catch (const std::exception&) {
    return std::nullopt;
  }
  return std::make_pair(last, max_iters);
}

// An optimization's latest major iteration, from the optimizer's own iteration table (a
// short file, unlike the flow log), against the case's max_opt_iters.
std::optional<std::pair<long, long>> major_iterations(const std::string& case_dir) {
  static const std::regex row_re(R"(^\s*(\d+)\s+[-+0-9.])");
  long last = -1;
  std::smatch m;
  for (const char* table : {"opt_SLSQP.txt", "opt_IPOPT_iterations.txt"})
    for (const auto& line : runner::tail_lines((fs::path(case_dir) / table).string(), 50, 16384))
      if (std::regex_search(line, m, row_re)) last = std::stol(m[1]);
  if (last < 0) return std::nullopt;
  try {
    const Json inputs = load_case_inputs(case_dir);
    if (!inputs.contains("max_opt_iters")) return std::nullopt;
    return std::make_pair(last, static_cast<long>(to_int(inputs["max_opt_iters"])));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// At most `columns - 1` bytes (writing the last column makes some terminals wrap), never
// ending inside a UTF-8 sequence.
std::string fitted(const std::string& line, int columns) {
  if (columns <= 1 || line.size() < static_cast<size_t>(columns)) return line;
  size_t end = static_cast<size_t>(columns - 1);
  while (end > 0 && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80) --end;
  return line.substr(0, end);
}

}  // namespace

std::string progress_stage(const Json& checked) {
  const Json last = checked.value("results", Json::array()).empty() ? Json::object() : checked["results"].back();
  return shown(checked.value("state", Json(""))) + "/" + shown(last.value("phase", Json(""))) + "/" +
         shown(last.value("status", Json(""))) + "/" + shown(last.value("command_index", Json(0)));
}

ProgressSink stderr_progress_sink() {
  ProgressSink sink;
  sink.out = &std::cerr;
  sink.terminal = ::isatty(STDERR_FILENO) == 1;
  winsize size{};
  if (sink.terminal && ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0) sink.columns = size.ws_col;
  return sink;
}

void ProgressDisplay::update(const std::string& stage, const std::string& line) {
  std::ostream& out = *sink_.out;
  const auto now = sink_.clock();
  if (sink_.terminal) {
    out << "\r" << fitted(line, sink_.columns) << "\033[K";
  } else {
    if (shown_ && stage == last_stage_ && now - last_print_ < kLogInterval) return;
    out << line << "\n";
  }
  out.flush();
  shown_ = true;
  last_stage_ = stage;
  last_print_ = now;
}

void ProgressDisplay::finish() {
  if (!sink_.terminal || !shown_) return;
  *sink_.out << "\r\033[K";
  sink_.out->flush();
  shown_ = false;
}

std::pair<double, std::string> run_progress(const std::string& case_dir, const Json& r) {
  if (auto major = major_iterations(case_dir); major && major->second > 0) {
    std::string label = "major iteration " + std::to_string(major->first) + "/" + std::to_string(major->second);
    if (auto it = solver_iterations(case_dir, r)) label += ", flow iteration " + std::to_string(it->first);
    return {std::min(1.0, double(major->first) / double(major->second)), label};
  }
  if (auto it = solver_iterations(case_dir, r); it && it->second > 0)
    return {std::min(1.0, double(it->first) / double(it->second)),
            "iteration " + std::to_string(it->first) + "/" + std::to_string(it->second)};
  const double index = r.value("command_index", Json(0)).is_number() ? r["command_index"].get<double>() : 0;
  const double n = r.value("n_commands", Json(0)).is_number() ? r["n_commands"].get<double>() : 0;
  std::string label = "command " + shown(r.value("command_index", Json(0))) + "/" + shown(r.value("n_commands", Json(0)));
  if (r.contains("command") && r["command"].is_string()) {
    std::string cmd = r["command"];
    cmd = cmd.substr(0, cmd.find(" >"));
    label += ": " + cmd.substr(0, 48);
  }
  return {n > 0 ? std::max(0.0, (index - 1) / n) : 0.0, label};
}

std::string progress_line(const std::string& case_dir, const Json& r) {
  const auto [fraction, label] = run_progress(case_dir, r);
  const int width = 30, filled = static_cast<int>(fraction * width + 0.5);
  std::ostringstream s;
  s << "[" << std::string(filled, '#') << std::string(width - filled, '.') << "] " << std::setw(3)
    << static_cast<int>(fraction * 100 + 0.5) << "% " << label;
  if (r.contains("elapsed_seconds")) s << " (" << shown(r["elapsed_seconds"]) << " s)";
  return s.str();
}

void print_results(std::ostream& out, const Json& call) {
  out << "case " << call.value("case_name", "?") << " (" << call.value("skill", "?") << ")\n";
  for (const auto& r : call.value("results", Json::array())) {
    out << "  " << r.value("phase", "?") << ": " << r.value("status", "?") << "\n";
    if (r.contains("note")) out << "    " << shown(r["note"]) << "\n";
    for (const char* key : kKeyNumbers)
      if (r.contains(key) && !r[key].is_null()) out << "    " << key << " = " << shown(r[key]) << "\n";
    for (const char* key : {"html_url", "trame_url"})
      if (r.contains(key)) out << "    " << key << ": " << shown(r[key]) << "\n";
  }
  if (call.contains("next")) out << "  next: " << shown(call["next"]) << "\n";
  out.flush();
}

void print_case_table(std::ostream& out, const Json& cases) {
  out << std::left << std::setw(32) << "case" << std::setw(24) << "skill" << std::setw(16) << "state"
      << "verdict\n";
  for (const auto& c : cases)
    out << std::setw(32) << shown(c["case_name"]) << std::setw(24) << shown(c["skill"]) << std::setw(16)
        << shown(c["state"]) << (c["verdict"].is_null() ? "-" : shown(c["verdict"])) << "\n";
}

}  // namespace orvanta::app
