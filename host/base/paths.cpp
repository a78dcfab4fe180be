#include "host/base/paths.hpp"

#include "host/base/errors.hpp"

#include <cstdlib>
#include <fstream>
#include <sstream>

#ifndef ORVANTA_SOURCE_DIR
#error "ORVANTA_SOURCE_DIR must name the source tree"
#endif

namespace orvanta {
namespace fs = std::filesystem;
namespace {

fs::path env_or(const char* name, const fs::path& fallback) {
  const char* v = std::getenv(name);
  return (v && *v) ? fs::path(v) : fallback;
}

}  // namespace

fs::path asset_package_dir(const std::string& package) {
  return env_or("ORVANTA_ASSETS_DIR", fs::path(ORVANTA_SOURCE_DIR) / "assets") / package;
}

fs::path advanced_parameters_file() {
  return env_or("ORVANTA_ADV_PARAMS_FILE", fs::path(ORVANTA_SOURCE_DIR) / "host/config/advanced_parameters.json");
}

fs::path web_dir() { return env_or("ORVANTA_WEB_DIR", fs::path(ORVANTA_SOURCE_DIR) / "web"); }

fs::path orvanta_executable() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path("orvanta") : self;
}

std::string read_text_file(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw FileNotFoundError("No such file or directory: '" + path.string() + "'");
  std::ostringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

}  // namespace orvanta
