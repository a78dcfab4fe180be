#include "host/base/recording_host_services.hpp"

namespace orvanta {

std::string local_url(int port, const std::string& page) {
  return "http://127.0.0.1:" + std::to_string(port) + "/" + page;
}

Json RecordingHostServices::execute_commands(const CommandRun& run) {
  Json args = Json::object();
  args["commands"] = run.commands;
  args["run_mode"] = run.run_mode;
  args["detached"] = run.detached;
  args["phase"] = run.phase;
  calls_.push_back(Json{{"operation", "_execute_commands"}, {"arguments", args}});
  return Json{{"started", false}, {"recorded", true}};
}

Json RecordingHostServices::review_pending_run(const std::string&, const std::string& skill,
                                               const std::string& note) {
  return Json{{"phase", "review_run"}, {"skill", skill}, {"status", "running"}, {"note", note}};
}

void RecordingHostServices::launch_html_gallery(const GalleryLaunch& g) {
  Json args = Json::object();
  args["page"] = g.page;
  args["figures"] = g.figures;
  args["port"] = g.port;
  args["plot_log_filename"] = g.plot_log_filename;
  args["server_log_filename"] = g.server_log_filename;
  calls_.push_back(Json{{"operation", "_launch_html_gallery"}, {"arguments", args}});
}

std::pair<bool, std::string> RecordingHostServices::review_html_gallery(const std::string& page, int port) {
  return {false, local_url(port, page)};
}

void RecordingHostServices::launch_trame_view(const ViewerLaunch& v) {
  Json args = Json::object();
  args["vtk_files"] = v.vtk_files;
  args["port"] = v.port;
  args["server_log_filename"] = v.server_log_filename;
  calls_.push_back(Json{{"operation", "_launch_trame_view"}, {"arguments", args}});
}

std::pair<bool, std::string> RecordingHostServices::review_trame_view(int port) {
  return {false, local_url(port)};
}

}  // namespace orvanta
