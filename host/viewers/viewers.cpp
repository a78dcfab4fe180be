#include "host/viewers/viewers.hpp"

#include "host/base/errors.hpp"
#include "host/base/paths.hpp"
#include "host/runner/run_record.hpp"
#include "host/viewers/gallery_app.hpp"
#include "host/viewers/http_reply.hpp"
#include "host/viewers/port_probe.hpp"
#include "host/viewers/server_process.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace orvanta::viewers {
namespace fs = std::filesystem;
namespace {

using namespace std::chrono_literals;

// Serialises launches and stops on one port across processes (two analyze phases at once).
class PortLock {
 public:
  PortLock(const ServerRecords& records, int port) {
    fs::create_directories(records.dir());
    fd_ = open(records.lock_path(port).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) throw OSError("Cannot open the viewer lock " + records.lock_path(port).string());
    while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~PortLock() { close(fd_); }
  PortLock(const PortLock&) = delete;
  PortLock& operator=(const PortLock&) = delete;

 private:
  int fd_ = -1;
};

struct ProbedServer {
  bool ours = false;
  std::string kind, page, case_dir;
  long pid = 0;
};

ProbedServer probe_server(int port, int timeout_ms = 1500) {
  const HttpAnswer a = http_get_local(port, kStatusPath, timeout_ms);
  if (!a.answered || a.status != 200) return {};
  const Json j = Json::parse(a.body, nullptr, false);
  if (j.is_discarded() || !j.is_object() || j.value("server", "") != "orvanta") return {};
  ProbedServer p;
  p.ours = true;
  p.kind = j.value("kind", "");
  p.page = j.value("page", "");
  p.case_dir = j.value("case_dir", "");
  p.pid = j.value("pid", 0L);
  return p;
}

std::string kind_name(const std::string& kind) { return kind == "gallery" ? "figure gallery" : "3D viewer"; }

std::string holder_text(int port) {
  const auto holder = find_port_holder(port);
  if (!holder) return "another program";
  return "another program (" + holder->program + ", pid " + std::to_string(holder->pid) + ")";
}

void check_port(int port) {
  if (port < 1 || port > 65535) throw ValueError("A viewer port must be between 1 and 65535, got " + std::to_string(port) + ".");
}

void append_line(const fs::path& log, const std::string& line) {
  std::ofstream f(log, std::ios::app);
  f << line << "\n";
}

void wait_port_free(int port) {
  for (auto deadline = std::chrono::steady_clock::now() + 3s; std::chrono::steady_clock::now() < deadline;) {
    if (!port_in_use(port)) return;
    std::this_thread::sleep_for(50ms);
  }
}

// Stops whatever server of ours holds the port: the recorded one (checked against /proc
// before it is signalled), and one whose record was lost but that names itself on the
// status endpoint and whose command line confirms it.
void stop_ours(const ServerRecords& records, int port) {
  bool stopped = false;
  if (auto rec = records.load(port)) {
    if (record_is_live(*rec)) stopped = terminate_process(rec->pid);
    records.remove(port);
  }
  const ProbedServer probed = probe_server(port, 1000);
  if (probed.ours && probed.pid > 0 && process_owned_by_me(probed.pid) &&
      is_server_command_line(process_command_line(probed.pid), port))
    stopped = terminate_process(probed.pid) || stopped;
  if (stopped) wait_port_free(port);
}

// Polls until the new server answers with its own pid, or dies, or 15 s pass.
void wait_until_answering(int port, long pid) {
  for (auto deadline = std::chrono::steady_clock::now() + 15s; std::chrono::steady_clock::now() < deadline;) {
    if (probe_server(port, 500).pid == pid) return;
    if (!process_alive(pid)) return;
    std::this_thread::sleep_for(50ms);
  }
}

struct Launch {
  std::string kind;
  std::string case_dir;
  int port = 0;
  std::string log_name;
  std::string page;
  std::vector<std::string> arguments;  // after "--port N --case DIR"
};

void launch_server(const Launch& l) {
  check_port(l.port);
  if (!fs::is_directory(l.case_dir)) throw FileNotFoundError("Case directory was not found: " + l.case_dir);
  const fs::path case_dir = fs::canonical(l.case_dir);
  const fs::path log = case_dir / l.log_name;
  const ServerRecords records = ServerRecords::standard();
  PortLock lock(records, l.port);
  stop_ours(records, l.port);
  if (port_in_use(l.port)) {
    append_line(log, "orvanta: the " + kind_name(l.kind) + " was not started: port " + std::to_string(l.port) +
                         " is held by " + holder_text(l.port) +
                         ". Stop that program or free the port, then run the analyze phase again.");
    return;
  }
  std::vector<std::string> argv = {orvanta_executable().string(), serve_command_for(l.kind), "--port",
                                   std::to_string(l.port), "--case", case_dir.string()};
  argv.insert(argv.end(), l.arguments.begin(), l.arguments.end());
  ServerRecord rec;
  rec.port = l.port;
  rec.pid = spawn_detached(argv, case_dir, log);
  rec.start_tick = runner::process_start_tick(rec.pid).value_or(0);
  rec.kind = l.kind;
  rec.case_dir = case_dir.string();
  rec.page = l.page;
  rec.log_file = log.string();
  rec.started_at = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  records.save(rec);
  wait_until_answering(l.port, rec.pid);
}

}  // namespace

void launch_gallery(const GalleryLaunch& launch) {
  check_page_name(launch.page);
  Launch l{"gallery", launch.case_dir, launch.port,
           launch.server_log_filename.empty() ? "log_html.txt" : launch.server_log_filename, launch.page, {}};
  l.arguments = {"--page", launch.page};
  if (!launch.plot_log_filename.empty()) l.arguments.push_back("--plot-log=" + launch.plot_log_filename);
  for (const auto& f : launch.figures) l.arguments.push_back("--figure=" + f);
  launch_server(l);
}

std::pair<bool, std::string> review_gallery(const std::string& page, int port) {
  const ProbedServer p = probe_server(port);
  return {p.ours && p.kind == "gallery" && p.page == page, local_url(port, page)};
}

void launch_viewer(const ViewerLaunch& launch) {
  if (launch.vtk_files.empty()) throw ValueError("The 3D viewer needs at least one surface file.");
  Launch l{"viewer", launch.case_dir, launch.port,
           launch.server_log_filename.empty() ? "log_trame.txt" : launch.server_log_filename, "", {}};
  for (const auto& f : launch.vtk_files) l.arguments.push_back("--file=" + f);
  launch_server(l);
}

std::pair<bool, std::string> review_viewer(int port) {
  const ProbedServer p = probe_server(port);
  return {p.ours && p.kind == "viewer", local_url(port)};
}

std::string port_note(int port) {
  if (probe_server(port).ours) return "";
  const std::string p = std::to_string(port);
  if (port_in_use(port))
    return "Port " + p + " is held by " + holder_text(port) +
           ", not by an orvanta viewer; stop that program or free the port, then run the analyze phase again.";
  const auto rec = ServerRecords::standard().load(port);
  if (!rec) return "No orvanta viewer is running on port " + p + ".";
  return "No orvanta viewer is running on port " + p + "; the " + kind_name(rec->kind) + " started there for " +
         rec->case_dir + " has stopped: see " + rec->log_file + ".";
}

void stop_server(int port) {
  check_port(port);
  const ServerRecords records = ServerRecords::standard();
  PortLock lock(records, port);
  stop_ours(records, port);
}

std::vector<ServerRecord> recorded_servers() { return ServerRecords::standard().all(); }

}  // namespace orvanta::viewers
