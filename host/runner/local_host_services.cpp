#include "host/runner/local_host_services.hpp"

#include "host/runner/command_runner.hpp"

namespace orvanta {

LocalHostServices::LocalHostServices(ViewerBackend viewers, std::shared_ptr<RecordingHostServices> recorder)
    : viewers_(std::move(viewers)), recorder_(std::move(recorder)) {}

Json LocalHostServices::execute_commands(const CommandRun& run) {
  if (recorder_) recorder_->execute_commands(run);
  // "Direct" or not detached: the caller waits; anything else runs in the background.
  if (run.run_mode == "Direct" || !run.detached) return runner::run_direct(run);
  return runner::run_detached(run);
}

Json LocalHostServices::review_pending_run(const std::string& case_dir, const std::string& skill,
                                           const std::string& note) {
  return runner::review_pending_run(case_dir, skill, note);
}

void LocalHostServices::launch_html_gallery(const GalleryLaunch& launch) {
  if (recorder_) recorder_->launch_html_gallery(launch);
  if (viewers_.launch_gallery) viewers_.launch_gallery(launch);
}

std::pair<bool, std::string> LocalHostServices::review_html_gallery(const std::string& page, int port) {
  if (viewers_.review_gallery) return viewers_.review_gallery(page, port);
  return {false, local_url(port, page)};
}

void LocalHostServices::launch_trame_view(const ViewerLaunch& launch) {
  if (recorder_) recorder_->launch_trame_view(launch);
  if (viewers_.launch_viewer) viewers_.launch_viewer(launch);
}

std::pair<bool, std::string> LocalHostServices::review_trame_view(int port) {
  if (viewers_.review_viewer) return viewers_.review_viewer(port);
  return {false, local_url(port)};
}

}  // namespace orvanta
