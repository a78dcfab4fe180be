#include "vsp_test_support.hpp"

#include <cmath>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

namespace orvanta::vsp::vsptest {

TempDir::TempDir() {
  std::random_device rd;
  dir_ = std::filesystem::temp_directory_path() / ("orvanta_vsp_test_" + std::to_string(rd()));
  std::filesystem::create_directories(dir_);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

StlStats read_stl_stats(const std::string& path) {
  StlStats s;
  std::ifstream in(path);
  std::string line;
  std::map<std::string, int> ids;
  std::vector<std::array<double, 3>> pts;
  std::map<std::pair<int, int>, std::pair<int, int>> edges;  // (low, high) -> (uses, forward - backward)
  std::array<int, 3> tri{};
  int corner = 0;
  for (double& v : s.min) v = 1e300;
  for (double& v : s.max) v = -1e300;
  while (std::getline(in, line)) {
    if (s.first_line.empty()) s.first_line = line;
    if (!line.empty()) s.last_line = line;
    const auto at = line.find("vertex ");
    if (at == std::string::npos) continue;
    const std::string key = line.substr(at + 7);
    auto [it, fresh] = ids.emplace(key, static_cast<int>(pts.size()));
    if (fresh) {
      std::istringstream ss(key);
      std::array<double, 3> p{};
      ss >> p[0] >> p[1] >> p[2];
      pts.push_back(p);
      for (int k = 0; k < 3; ++k) s.min[k] = std::min(s.min[k], p[k]), s.max[k] = std::max(s.max[k], p[k]);
    }
    tri[corner++] = it->second;
    if (corner < 3) continue;
    corner = 0;
    ++s.triangles;
    const auto &a = pts[tri[0]], &b = pts[tri[1]], &c = pts[tri[2]];
    s.volume += (a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
                 a[2] * (b[0] * c[1] - b[1] * c[0])) / 6.0;
    for (int k = 0; k < 3; ++k) {
      const int p = tri[k], q = tri[(k + 1) % 3];
      auto& e = edges[{std::min(p, q), std::max(p, q)}];
      ++e.first;
      e.second += p < q ? 1 : -1;
    }
  }
  s.points = pts.size();
  for (const auto& [key, e] : edges) {
    if (e.first == 1) ++s.edges_used_once;
    if (e.first == 2) ++s.edges_used_twice;
    if (e.first > 2) ++s.edges_used_more;
    if (e.first == 2 && e.second != 0) ++s.edges_walked_same_way;
  }
  return s;
}

double parm(Model& m, const std::string& component, const std::string& group, const std::string& name) {
  const auto ids = m.find_geoms_with_name(component);
  EXPECT_EQ(ids.size(), 1u) << component;
  if (ids.size() != 1) return std::nan("");
  const std::string id = m.find_parm(ids[0], name, group);
  EXPECT_FALSE(id.empty()) << group << ":" << name;
  return m.parm_value(id).value_or(std::nan(""));
}

}  // namespace orvanta::vsp::vsptest
