#include "fakes/module_fixture.hpp"

#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace orvanta::testing {
namespace fs = std::filesystem;

void ModuleTest::SetUp() {
  root_ = fs::temp_directory_path() / ("orvanta_module_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
  fs::remove_all(root_);
  assets_ = root_ / "assets" / "aircraft_assets";
  work_ = root_ / "work";
  fs::create_directories(assets_);
  fs::create_directories(work_);
  write("assets/aircraft_assets/vsp_design_vars.json", kFakeDesignVars);
  write("assets/aircraft_assets/aircraft.vsp3", "<Vsp_Geometry/>");
  setenv("ORVANTA_ASSETS_DIR", (root_ / "assets").c_str(), 1);
  unsetenv("KESTRAN_WORK_DIR");
  unsetenv("ORVANTA_CI");
  vsp_.template_model = fake_aircraft();
  provider_ = std::make_unique<openvsp::ScopedProvider>([this]() -> openvsp::OpenVspApi& { return vsp_; });
}

void ModuleTest::TearDown() {
  provider_.reset();
  unsetenv("ORVANTA_ASSETS_DIR");
  unsetenv("KESTRAN_WORK_DIR");
  fs::remove_all(root_);
}

fs::path ModuleTest::write(const std::string& relative, const std::string& text) {
  const fs::path p = root_ / relative;
  fs::create_directories(p.parent_path());
  std::ofstream(p) << text;
  return p;
}

std::string ModuleTest::read(const fs::path& path) const {
  std::ifstream f(path);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

}  // namespace orvanta::testing
