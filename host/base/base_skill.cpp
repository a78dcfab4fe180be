#include "host/base/base_skill.hpp"

#include "host/base/errors.hpp"
#include "host/functions/mesh_quality.hpp"
#include "host/functions/refine_box.hpp"
#include "host/functions/simulation_log.hpp"

#include <filesystem>

namespace orvanta {

BaseSkill::BaseSkill(std::string name, std::string description, Json input_info, std::string asset_package,
                     std::optional<std::string> prereq_skill)
    : name_(std::move(name)),
      description_(std::move(description)),
      input_info_(std::move(input_info)),
      asset_package_(std::move(asset_package)),
      prereq_skill_(std::move(prereq_skill)) {}

Json BaseSkill::get_input_info() { return input_info_; }

const std::vector<std::string>& BaseSkill::phase_names() {
  static const std::vector<std::string> names = {"prepare", "review_prepare", "run",
                                                 "review_run", "analyze", "review_analyze"};
  return names;
}

Json BaseSkill::call_phase(const std::string& phase) {
  if (phase == "prepare") { prepare(); return nullptr; }
  if (phase == "review_prepare") return review_prepare();
  if (phase == "run") { run(); return nullptr; }
  if (phase == "review_run") return review_run();
  if (phase == "analyze") { analyze(); return nullptr; }
  if (phase == "review_analyze") return review_analyze();
  throw ValueError("Unknown phase `" + phase + "`; phases are prepare, review_prepare, run, review_run, "
                   "analyze, review_analyze.");
}

HostServices& BaseSkill::host_services() const {
  if (!services_) throw RuntimeError("Skill " + name_ + " has no host services attached.");
  return *services_;
}

Json BaseSkill::_execute_commands(const std::vector<std::string>& commands, const ExecuteOptions& o) {
  return host_services().execute_commands(CommandRun{case_dir, name_, commands, o.run_mode, o.detached, o.phase});
}

Json BaseSkill::_review_pending_run(const std::string& note) {
  return host_services().review_pending_run(case_dir, name_, note);
}

void BaseSkill::_launch_html_gallery(const std::string& page, const std::vector<std::string>& figures,
                                     const GalleryOptions& o) {
  host_services().launch_html_gallery(
      GalleryLaunch{case_dir, page, figures, o.port, o.plot_log_filename, o.server_log_filename});
}

std::pair<bool, std::string> BaseSkill::_review_html_gallery(const std::string& page, int port) {
  return host_services().review_html_gallery(page, port);
}

void BaseSkill::_launch_trame_view(const std::vector<std::string>& vtk_files, const ViewerOptions& o) {
  host_services().launch_trame_view(ViewerLaunch{case_dir, vtk_files, o.port, o.server_log_filename});
}

std::pair<bool, std::string> BaseSkill::_review_trame_view(int port) {
  return host_services().review_trame_view(port);
}

Json BaseSkill::_assess_mesh_quality(const Json& metrics, const Json& thresholds) const {
  return assess_mesh_quality(metrics, thresholds);
}

std::vector<std::string> BaseSkill::_build_box_local_refine_commands(const Json& local_refine_box,
                                                                     bool is2D) const {
  return build_box_local_refine_commands(local_refine_box, is2D);
}

Json BaseSkill::parse_simulation_log(const std::string& log_path) const {
  return orvanta::parse_simulation_log(log_path);
}

std::string BaseSkill::case_path(const std::string& relative) const {
  return (std::filesystem::path(case_dir) / std::filesystem::path(relative)).string();
}

Json BaseSkill::phase_result(const std::string& phase, const std::string& status) const {
  Json r = Json::object();
  r["phase"] = phase;
  r["skill"] = name_;
  r["status"] = status;
  return r;
}

}  // namespace orvanta
