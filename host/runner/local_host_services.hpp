#pragma once
// The host services of real runs: command chains through the runner, viewers through the
// viewer servers. Every call is also recorded when a recorder is given, so callers can
// report what a phase started.

#include "host/base/recording_host_services.hpp"

#include <functional>
#include <memory>

namespace orvanta {

struct ViewerBackend {
  std::function<void(const GalleryLaunch&)> launch_gallery;
  std::function<std::pair<bool, std::string>(const std::string& page, int port)> review_gallery;
  std::function<void(const ViewerLaunch&)> launch_viewer;
  std::function<std::pair<bool, std::string>(int port)> review_viewer;
};

class LocalHostServices : public HostServices {
 public:
  LocalHostServices(ViewerBackend viewers, std::shared_ptr<RecordingHostServices> recorder = nullptr);

  Json execute_commands(const CommandRun& run) override;
  Json review_pending_run(const std::string& case_dir, const std::string& skill, const std::string& note) override;
  void launch_html_gallery(const GalleryLaunch& launch) override;
  std::pair<bool, std::string> review_html_gallery(const std::string& page, int port) override;
  void launch_trame_view(const ViewerLaunch& launch) override;
  std::pair<bool, std::string> review_trame_view(int port) override;

 private:
  ViewerBackend viewers_;
  std::shared_ptr<RecordingHostServices> recorder_;
};

}  // namespace orvanta
