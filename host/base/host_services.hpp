#pragma once
// Everything a skill asks of the host that starts, serves or watches a process goes
// through one HostServices object, so dry runs and tests can record instead of start.

#include "host/base/values.hpp"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace orvanta {

struct CommandRun {
  std::string case_dir;
  std::string skill;
  std::vector<std::string> commands;
  std::string run_mode;  // "Background" (detached) or "Direct" (foreground)
  bool detached = true;
  std::string phase;
};

struct GalleryLaunch {
  std::string case_dir;
  std::string page;
  std::vector<std::string> figures;  // case-relative paths, shown in this order
  int port = 8001;
  std::string plot_log_filename;
  std::string server_log_filename;
};

struct ViewerLaunch {
  std::string case_dir;
  std::vector<std::string> vtk_files;  // case-relative surface files
  int port = 8002;
  std::string server_log_filename;
};

class HostServices {
 public:
  virtual ~HostServices() = default;

  // Detached: starts the chain and returns at once. Direct: runs it and returns when done.
  // The answer describes what was started or how it ended (informational only).
  virtual Json execute_commands(const CommandRun& run) = 0;

  // The still-running answer of a run review: a phase result whose status says whether the
  // case's run is still active or has died without its completion marker.
  virtual Json review_pending_run(const std::string& case_dir, const std::string& skill,
                                  const std::string& note) = 0;

  virtual void launch_html_gallery(const GalleryLaunch& launch) = 0;
  virtual std::pair<bool, std::string> review_html_gallery(const std::string& page, int port) = 0;
  virtual void launch_trame_view(const ViewerLaunch& launch) = 0;
  virtual std::pair<bool, std::string> review_trame_view(int port) = 0;
};

// Address of a server the host runs on this machine: viewers bind to loopback only.
std::string local_url(int port, const std::string& page = "");

}  // namespace orvanta
