#pragma once
// HostServices that starts nothing: it records each call (dry runs, tests) and answers
// reviews the way the host would for a run that has not finished and servers that are down.

#include "host/base/host_services.hpp"

namespace orvanta {

class RecordingHostServices : public HostServices {
 public:
  Json execute_commands(const CommandRun& run) override;
  Json review_pending_run(const std::string& case_dir, const std::string& skill,
                          const std::string& note) override;
  void launch_html_gallery(const GalleryLaunch& launch) override;
  std::pair<bool, std::string> review_html_gallery(const std::string& page, int port) override;
  void launch_trame_view(const ViewerLaunch& launch) override;
  std::pair<bool, std::string> review_trame_view(int port) override;

  // Each call that would start or serve something, in call order:
  // {"operation": "_execute_commands", "arguments": {...}}.
  const Json& calls() const { return calls_; }
  void clear() { calls_ = Json::array(); }

 private:
  Json calls_ = Json::array();
};

}  // namespace orvanta
