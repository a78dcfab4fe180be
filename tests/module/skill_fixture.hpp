#pragma once
// A skill on a scratch case directory, with recording host services and the shipped
// advanced-parameter defaults.

#include "fakes/module_fixture.hpp"
#include "host/base/base_skill.hpp"
#include "host/base/json_file.hpp"
#include "host/base/paths.hpp"
#include "host/base/recording_host_services.hpp"

#include <fstream>
#include <memory>

namespace orvanta::testing {

template <class Skill>
class SkillTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    case_dir_ = (work_ / "case1").string();
    std::filesystem::create_directories(case_dir_);
    skill_.case_dir = case_dir_;
    for (const auto& [name, info] : skill_.input_info().items()) skill_.inputs[name] = info["default"];
    skill_.adv_params = read_json_object_file((std::filesystem::path(ORVANTA_SOURCE_DIR) /
                                               "host/config/advanced_parameters.json").string())[skill_.name()];
    skill_.set_host_services(host_);
  }
  std::string in_case(const std::string& rel) const { return (std::filesystem::path(case_dir_) / rel).string(); }
  void touch(const std::string& rel, const std::string& text = "x") {
    const std::filesystem::path p = in_case(rel);
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p) << text;
  }
  // The commands of the n-th recorded _execute_commands call.
  std::vector<std::string> commands(size_t n = 0) const {
    std::vector<std::string> out;
    size_t seen = 0;
    for (const auto& c : host_->calls())
      if (c["operation"] == "_execute_commands" && seen++ == n)
        out = c["arguments"]["commands"].template get<std::vector<std::string>>();
    return out;
  }
  void set_adv(const std::string& name, Json value) { skill_.adv_params[name]["value"] = std::move(value); }

  Skill skill_;
  std::shared_ptr<RecordingHostServices> host_ = std::make_shared<RecordingHostServices>();
  std::string case_dir_;
};

}  // namespace orvanta::testing
