#include "host/functions/simulation_log.hpp"

#include "host/base/errors.hpp"

#include <cmath>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace orvanta {
namespace {

// Numbers as solvers print them, NaN and infinities included.
const char* kNumber = R"(([-+]?(?:\d+\.?\d*(?:[eE][-+]?\d+)?|\.\d+(?:[eE][-+]?\d+)?|nan|NaN|inf|Inf|-nan|-inf)))";

Json number_or_null(const std::string& text, bool& has_nan_inf) {
  const double v = std::strtod(text.c_str(), nullptr);
  if (!std::isfinite(v)) {
    has_nan_inf = true;
    return nullptr;
  }
  return v;
}

// Solver lines are short. std::regex matches recursively, one stack frame per character, so
// a megabyte-long line (binary garbage, a runaway print) would overflow the stack; such lines
// cannot be solver output and are skipped.
constexpr std::size_t kMaxSolverLine = 2048;

}  // namespace

Json parse_simulation_log_text(const std::string& text) {
  static const std::regex coeff_re(std::string(R"(^\s*(Cd|Cl|CmPitch)\s*[:=]\s*)") + kNumber);
  static const std::regex time_re(R"(^Time = \S+)");
  static const std::regex start_re(R"(^Starting time loop)");
  static const std::regex residual_re(std::string(R"(Solving for (\w+), Initial residual = )") + kNumber);
  static const std::regex nan_re(R"((^|[^A-Za-z])(nan|NaN|-nan|inf|Inf)([^A-Za-z]|$))");

  Json cd = Json::array(), cl = Json::array(), cm = Json::array();
  Json residuals = Json::object();
  std::set<std::string> solved_this_step;
  int n_primal = 0, n_iter = 0;
  bool has_nan_inf = false;

  std::istringstream in(text);
  std::string line;
  std::smatch m;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > kMaxSolverLine) continue;
    if (std::regex_search(line, m, start_re)) {
      ++n_primal;
      continue;
    }
    if (std::regex_search(line, m, time_re)) {
      ++n_iter;
      solved_this_step.clear();
      continue;
    }
    if (std::regex_search(line, m, residual_re)) {
      const std::string field = m[1];
      if (solved_this_step.insert(field).second) residuals[field].push_back(number_or_null(m[2], has_nan_inf));
      continue;
    }
    if (std::regex_search(line, m, coeff_re)) {
      const std::string name = m[1];
      Json v = number_or_null(m[2], has_nan_inf);
      if (name == "Cd") cd.push_back(v);
      else if (name == "Cl") cl.push_back(v);
      else cm.push_back(v);
      continue;
    }
    if (!has_nan_inf && line.find("Solving for") != std::string::npos && std::regex_search(line, nan_re))
      has_nan_inf = true;
  }

  Json out = Json::object();
  out["cd"] = cd;
  out["cl"] = cl;
  out["cm"] = cm;
  out["residuals"] = residuals;
  out["n_primal_runs"] = n_primal;
  out["n_iterations"] = n_iter;
  out["has_nan_inf"] = has_nan_inf;
  return out;
}

Json parse_simulation_log(const std::string& log_path) {
  std::ifstream f(log_path, std::ios::binary);
  if (!f) throw FileNotFoundError("Simulation log was not found: " + log_path);
  std::ostringstream ss;
  ss << f.rdbuf();
  return parse_simulation_log_text(ss.str());
}

}  // namespace orvanta
