#pragma once
// A scratch working directory with its own asset folder and the fake geometry API
// installed, for tests of the design-variable functions and the skills.

#include "fakes/fake_openvsp.hpp"
#include "host/base/values.hpp"
#include "host/openvsp/provider.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace orvanta::testing {

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes `text` to `root_/relative`, creating folders.
  std::filesystem::path write(const std::string& relative, const std::string& text);
  std::string read(const std::filesystem::path& path) const;

  std::filesystem::path root_;        // scratch root
  std::filesystem::path assets_;      // root_/assets/aircraft_assets (ORVANTA_ASSETS_DIR = root_/assets)
  std::filesystem::path work_;        // root_/work
  FakeOpenVsp vsp_;

 private:
  std::unique_ptr<openvsp::ScopedProvider> provider_;
};

// A design-variable configuration for the fake aircraft.
inline const char* kFakeDesignVars = R"({
  "Wing": {
    "UpperCoeff_{0..1}": {"Au_{0..5}": "upper CST"},
    "XSec_{1..2}": {"Span": "panel spans"},
    "WingGeom": {"TotalArea": {"note": "any JSON passes through"}}
  },
  "Fuselage": {"Design": {"Length": "fuselage length"}}
})";

}  // namespace orvanta::testing
