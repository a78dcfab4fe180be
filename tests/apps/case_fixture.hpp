#pragma once
// Cases on the real asset package and geometry engine in a fresh working directory per
// test; the host records what would start, so nothing runs.

#include "apps/orvanta/case_manager.hpp"
#include "apps/orvanta/case_state.hpp"
#include "host/base/errors.hpp"
#include "host/base/recording_host_services.hpp"
#include "host/openvsp/engine_api.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace orvanta::app {

class CaseFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    work_ = std::filesystem::temp_directory_path() /
            ("orvanta_cases_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(work_);
    std::filesystem::create_directories(work_);
    unsetenv("ORVANTA_ASSETS_DIR");
    unsetenv("ORVANTA_MAX_RANKS");
    setenv("KESTRAN_WORK_DIR", work_.c_str(), 1);
    cases_ = std::make_unique<CaseManager>(work_.string(), [this] { return host_; });
  }
  void TearDown() override {
    unsetenv("KESTRAN_WORK_DIR");
    unsetenv("ORVANTA_MAX_RANKS");
    std::filesystem::remove_all(work_);
  }
  // Pretends the mesh run of a case finished with a mesh.
  void finish_mesh(const std::string& name) {
    const std::string dir = cases_->case_dir(name);
    std::filesystem::create_directories(std::filesystem::path(dir) / "constant/polyMesh");
    std::ofstream(std::filesystem::path(dir) / "constant/polyMesh/points") << "()";
    Json record = load_case_record(dir);
    record["state"] = "run_passed";
    save_case_record(dir, record);
  }
  // A mesh case m1 whose run passed.
  void make_mesh_case() {
    cases_->start({"generate-cfd-mesh", Json::object(), Json::object(), "m1", ""});
    finish_mesh("m1");
  }
  // The message of the ValueError that start() refuses `request` with; "" when it starts.
  std::string refusal(const StartRequest& request) {
    try {
      cases_->start(request);
    } catch (const ValueError& e) {
      return e.what();
    }
    return "";
  }
  size_t entries_in_work_dir() const {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(work_)) ++n;
    return n;
  }

  std::filesystem::path work_;
  std::shared_ptr<RecordingHostServices> host_ = std::make_shared<RecordingHostServices>();
  std::unique_ptr<CaseManager> cases_;
  openvsp::ScopedProvider engine_{openvsp::engine_provider()};
};

}  // namespace orvanta::app
