#include "host/runner/environment.hpp"

#include "host/base/errors.hpp"
#include "host/base/paths.hpp"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

extern char** environ;

namespace orvanta::runner {
namespace fs = std::filesystem;
namespace {

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string runtime_root() {
  std::string base = env("XDG_RUNTIME_DIR");
  if (base.empty() || !fs::is_directory(base)) base = fs::temp_directory_path().string();
  return (fs::path(base) / ("orvanta-" + std::to_string(getuid()))).string();
}

void prepend_path(std::map<std::string, std::string>& vars, const std::string& dir) {
  const std::string path = vars.count("PATH") ? vars["PATH"] : "/usr/local/bin:/usr/bin:/bin";
  vars["PATH"] = dir + (path.empty() ? "" : ":" + path);
}

}  // namespace

std::vector<std::string> CommandEnvironment::envp() const {
  std::vector<std::string> out;
  out.reserve(variables.size());
  for (const auto& [k, v] : variables) out.push_back(k + "=" + v);
  return out;
}

std::string python_shim_dir(const std::string& interpreter) {
  // One folder per interpreter, so two overrides never fight over one link.
  std::string tag;
  for (char c : interpreter) tag += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  const fs::path dir = fs::path(runtime_root()) / ("python-" + tag);
  fs::create_directories(dir);
  for (const char* name : {"python", "python3"}) {
    const fs::path link = dir / name;
    std::error_code ec;
    if (fs::is_symlink(link, ec) && fs::read_symlink(link, ec) == fs::path(interpreter)) continue;
    const fs::path tmp = dir / (std::string(".") + name + "." + std::to_string(getpid()));
    fs::remove(tmp, ec);
    fs::create_symlink(interpreter, tmp);
    fs::rename(tmp, link);  // atomic, so a concurrent reader never sees no link
  }
  return dir.string();
}

CommandEnvironment command_environment() {
  CommandEnvironment e;
  for (char** p = environ; p && *p; ++p) {
    const std::string kv = *p;
    const auto eq = kv.find('=');
    if (eq != std::string::npos) e.variables[kv.substr(0, eq)] = kv.substr(eq + 1);
  }

  std::string openfoam = env("ORVANTA_OPENFOAM_DIR");
  if (openfoam.empty()) openfoam = env("WM_PROJECT_DIR");
  if (openfoam.empty() && fs::is_directory("/usr/share/openfoam")) openfoam = "/usr/share/openfoam";
  if (!openfoam.empty()) e.variables["WM_PROJECT_DIR"] = openfoam;

  e.variables["OMPI_ALLOW_RUN_AS_ROOT"] = "1";
  e.variables["OMPI_ALLOW_RUN_AS_ROOT_CONFIRM"] = "1";
  // Figures are drawn without a display.
  e.variables["MPLBACKEND"] = "Agg";

  std::string python = env("ORVANTA_PYTHON");
  if (python.empty()) python = "/usr/bin/python3";
  const fs::path exe = orvanta_executable();
  e.variables["ORVANTA_BIN"] = exe.string();
  prepend_path(e.variables, exe.parent_path().string());
  prepend_path(e.variables, python_shim_dir(python));
  // A user's virtualenv or PYTHONHOME must not redirect the case scripts' interpreter.
  e.variables.erase("PYTHONHOME");
  e.variables.erase("VIRTUAL_ENV");
  return e;
}

}  // namespace orvanta::runner
