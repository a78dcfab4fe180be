#pragma once
// Shared by the geometry engine tests: where the sample models are, loading a model that
// must load, and an STL reader that knows nothing of the engine (so that checks of exported
// files do not rely on the code under test).

#include "vsp/model.hpp"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace orvanta::vsp::vsptest {

inline std::string sample(const std::string& name) { return std::string(ORVANTA_SHARED_DATA_DIR) + "/" + name; }
inline std::string packaged_model() { return std::string(ORVANTA_SOURCE_DIR) + "/assets/aircraft_assets/aircraft.vsp3"; }

inline const std::vector<std::string>& sample_files() {
  static const std::vector<std::string> files = {sample("openvsp_test_wing.vsp3"),
                                                 sample("openvsp_TR1208_file_airfoil.vsp3"),
                                                 sample("autoOpenVSP_fuselage_wing.vsp3"), packaged_model()};
  return files;
}

// Every queued error as one text, for assertion messages.
inline std::string queued(Model& m) {
  std::string s;
  for (const auto& e : m.errors().entries()) s += e.text + "\n";
  return s;
}

inline void load(Model& m, const std::string& path) {
  ASSERT_TRUE(m.read_file(path)) << queued(m);
  ASSERT_TRUE(m.errors().empty()) << queued(m);
}

// A scratch directory removed at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

 private:
  std::filesystem::path dir_;
};

// Edge use and enclosed volume of an ASCII STL file, computed from its text alone: corners
// with the same coordinate text are the same point.
struct StlStats {
  size_t triangles = 0, points = 0;
  size_t edges_used_once = 0, edges_used_twice = 0, edges_used_more = 0;
  size_t edges_walked_same_way = 0;  // shared by two triangles that disagree on orientation
  double volume = 0.0;
  std::array<double, 3> min{}, max{};
  std::string first_line, last_line;

  bool closed() const { return triangles > 0 && edges_used_once == 0 && edges_used_more == 0 && edges_walked_same_way == 0; }
};
StlStats read_stl_stats(const std::string& path);

// Loads a sample and returns the value of a parameter found like the design-variable code finds it.
double parm(Model& m, const std::string& component, const std::string& group, const std::string& name);

}  // namespace orvanta::vsp::vsptest
