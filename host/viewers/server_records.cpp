#include "host/viewers/server_records.hpp"

#include "host/base/json_file.hpp"
#include "host/base/values.hpp"
#include "host/runner/run_record.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace orvanta::viewers {
namespace fs = std::filesystem;
namespace {

fs::path record_path(const fs::path& dir, int port) { return dir / (std::to_string(port) + ".json"); }

std::optional<ServerRecord> read_record(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return std::nullopt;
  Json j;
  try {
    j = read_json_object_file(path.string());
  } catch (const std::exception&) {
    return std::nullopt;  // a torn or foreign file is no record; it is overwritten on the next launch
  }
  ServerRecord r;
  r.port = j.value("port", 0);
  r.pid = j.value("pid", 0L);
  r.start_tick = j.value("start_tick", 0ULL);
  r.kind = j.value("kind", "");
  r.case_dir = j.value("case_dir", "");
  r.page = j.value("page", "");
  r.log_file = j.value("log_file", "");
  r.started_at = j.value("started_at", 0.0);
  if (r.port <= 0 || r.pid <= 0) return std::nullopt;
  return r;
}

}  // namespace

std::string serve_command_for(const std::string& kind) { return kind == "gallery" ? "serve-gallery" : "serve-viewer"; }

ServerRecords::ServerRecords(fs::path dir) : dir_(std::move(dir)) {}

ServerRecords ServerRecords::standard() {
  if (const char* v = std::getenv("ORVANTA_SERVER_RECORDS_DIR"); v && *v) return ServerRecords(v);
  std::string base;
  if (const char* v = std::getenv("XDG_RUNTIME_DIR"); v && *v && fs::is_directory(v)) base = v;
  if (base.empty()) base = fs::temp_directory_path().string();
  return ServerRecords(fs::path(base) / ("orvanta-" + std::to_string(getuid())) / "servers");
}

std::optional<ServerRecord> ServerRecords::load(int port) const { return read_record(record_path(dir_, port)); }

void ServerRecords::save(const ServerRecord& r) const {
  fs::create_directories(dir_);
  Json j = Json::object();
  j["port"] = r.port;
  j["pid"] = r.pid;
  j["start_tick"] = r.start_tick;
  j["kind"] = r.kind;
  j["case_dir"] = r.case_dir;
  j["page"] = r.page;
  j["log_file"] = r.log_file;
  j["started_at"] = r.started_at;
  write_json_file_atomic(record_path(dir_, r.port).string(), j);
}

void ServerRecords::remove(int port) const {
  std::error_code ec;
  fs::remove(record_path(dir_, port), ec);
}

std::vector<ServerRecord> ServerRecords::all() const {
  std::vector<ServerRecord> out;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir_, ec)) {
    if (entry.path().extension() != ".json") continue;
    if (auto r = read_record(entry.path())) out.push_back(*r);
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.port < b.port; });
  return out;
}

fs::path ServerRecords::lock_path(int port) const { return dir_ / (std::to_string(port) + ".lock"); }

bool is_server_command_line(const std::vector<std::string>& argv, int port) {
  if (argv.size() < 2 || (argv[1] != "serve-gallery" && argv[1] != "serve-viewer")) return false;
  const std::string wanted = std::to_string(port);
  for (size_t i = 2; i < argv.size(); ++i) {
    if (argv[i] == "--port" && i + 1 < argv.size() && argv[i + 1] == wanted) return true;
    if (argv[i] == "--port=" + wanted) return true;
  }
  return false;
}

std::vector<std::string> process_command_line(long pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
  std::vector<std::string> argv;
  std::string arg;
  while (std::getline(f, arg, '\0')) argv.push_back(arg);
  return argv;
}

bool record_is_live(const ServerRecord& record) {
  const auto tick = runner::process_start_tick(record.pid);
  if (!tick || (record.start_tick != 0 && *tick != record.start_tick)) return false;
  return is_server_command_line(process_command_line(record.pid), record.port);
}

}  // namespace orvanta::viewers
