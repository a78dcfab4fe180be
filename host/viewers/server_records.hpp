#pragma once
// What the host remembers about the viewer servers it started: one small JSON record per
// port in a runtime folder, so a later process (the next analyze phase, a stop command)
// can find and replace the server, and never signals a process that is not one of ours.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orvanta::viewers {

struct ServerRecord {
  int port = 0;
  long pid = 0;
  unsigned long long start_tick = 0;  // guards against a reused pid
  std::string kind;                   // "gallery" or "viewer"
  std::string case_dir;
  std::string page;                   // gallery page; empty for the viewer
  std::string log_file;               // absolute path of the server's log
  double started_at = 0;              // seconds since the epoch
};

// Command-line word that starts each kind of server.
std::string serve_command_for(const std::string& kind);

class ServerRecords {
 public:
  explicit ServerRecords(std::filesystem::path dir);
  // ${XDG_RUNTIME_DIR:-/tmp}/orvanta-<uid>/servers; ORVANTA_SERVER_RECORDS_DIR overrides.
  static ServerRecords standard();

  const std::filesystem::path& dir() const { return dir_; }
  std::optional<ServerRecord> load(int port) const;
  void save(const ServerRecord& record) const;
  void remove(int port) const;
  std::vector<ServerRecord> all() const;
  // Lock file that serialises launches and stops on one port.
  std::filesystem::path lock_path(int port) const;

 private:
  std::filesystem::path dir_;
};

// True when a process's arguments are those of one of our servers on `port`:
// argv[1] is "serve-gallery" or "serve-viewer" and "--port <port>" follows.
bool is_server_command_line(const std::vector<std::string>& argv, int port);

// The arguments of a live process from /proc (empty when gone or unreadable).
std::vector<std::string> process_command_line(long pid);

// The recorded process is alive, is the same process (start tick) and still runs our
// server on the recorded port.
bool record_is_live(const ServerRecord& record);

}  // namespace orvanta::viewers
