#pragma once
// The skill contract: static metadata, bound inputs and advanced parameters, the six
// phases, and the host operations a skill calls. A skill never starts a process itself.

#include "host/base/host_services.hpp"
#include "host/base/values.hpp"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvanta {

// Keyword arguments of the host operations, written as designated initializers at the call
// site: _execute_commands(cmds, {.run_mode = "Direct", .detached = false, .phase = "analyze"}).
struct ExecuteOptions {
  std::string run_mode = "Background";
  bool detached = true;
  std::string phase = "";
};
struct GalleryOptions {
  int port = 8001;
  std::string plot_log_filename = "";
  std::string server_log_filename = "log_html.txt";
};
struct ViewerOptions {
  int port = 8002;
  std::string server_log_filename = "log_trame.txt";
};

class BaseSkill {
 public:
  BaseSkill(std::string name, std::string description, Json input_info, std::string asset_package = "",
            std::optional<std::string> prereq_skill = std::nullopt);
  virtual ~BaseSkill() = default;
  BaseSkill(const BaseSkill&) = delete;
  BaseSkill& operator=(const BaseSkill&) = delete;

  const std::string& name() const { return name_; }
  const std::string& description() const { return description_; }
  const Json& input_info() const { return input_info_; }
  const std::string& asset_package() const { return asset_package_; }
  const std::optional<std::string>& prereq_skill() const { return prereq_skill_; }

  // Input metadata published to the model; the base returns the static table.
  virtual Json get_input_info();

  // The six phases. prepare, run and analyze return nothing; the reviews return results.
  virtual void prepare() = 0;
  virtual Json review_prepare() = 0;
  virtual void run() = 0;
  virtual Json review_run() = 0;
  virtual void analyze() = 0;
  virtual Json review_analyze() = 0;

  static const std::vector<std::string>& phase_names();
  // Calls a phase by name; null for the phases that return nothing. Unknown: ValueError.
  Json call_phase(const std::string& phase);

  // Set by the host before the phases run.
  std::string case_dir;
  Json inputs = Json::object();
  Json adv_params = Json::object();

  void set_host_services(std::shared_ptr<HostServices> services) { services_ = std::move(services); }
  HostServices& host_services() const;

  // Host operations meant for skills.
  Json _execute_commands(const std::vector<std::string>& commands, const ExecuteOptions& options = {});
  Json _review_pending_run(const std::string& note);
  void _launch_html_gallery(const std::string& page, const std::vector<std::string>& figures,
                            const GalleryOptions& options = {});
  std::pair<bool, std::string> _review_html_gallery(const std::string& page, int port = 8001);
  void _launch_trame_view(const std::vector<std::string>& vtk_files, const ViewerOptions& options = {});
  std::pair<bool, std::string> _review_trame_view(int port = 8002);
  Json _assess_mesh_quality(const Json& metrics, const Json& thresholds) const;
  std::vector<std::string> _build_box_local_refine_commands(const Json& local_refine_box, bool is2D = false) const;
  Json parse_simulation_log(const std::string& log_path) const;

  // case_dir joined with a relative path, component by component.
  std::string case_path(const std::string& relative) const;
  // A phase result's first three keys.
  Json phase_result(const std::string& phase, const std::string& status) const;

 private:
  std::string name_;
  std::string description_;
  Json input_info_;
  std::string asset_package_;
  std::optional<std::string> prereq_skill_;
  std::shared_ptr<HostServices> services_;
};

}  // namespace orvanta
