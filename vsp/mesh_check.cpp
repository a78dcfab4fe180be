#include "vsp/mesh_check.hpp"

#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <unordered_map>

namespace orvanta::vsp {

MeshCheck check_mesh(const TriMesh& mesh) {
  MeshCheck c;
  c.points = mesh.points.size();
  c.triangles = mesh.triangles.size();
  c.volume = mesh.signed_volume();
  // Per undirected edge: uses, and the balance of its two directions.
  struct Use {
    int count = 0, balance = 0;
  };
  std::unordered_map<unsigned long long, Use> edges;
  edges.reserve(mesh.triangles.size() * 2);
  for (const auto& t : mesh.triangles) {
    for (int k = 0; k < 3; ++k) {
      const unsigned a = static_cast<unsigned>(t[k]), b = static_cast<unsigned>(t[(k + 1) % 3]);
      const unsigned long long key = a < b ? (static_cast<unsigned long long>(a) << 32) | b
                                           : (static_cast<unsigned long long>(b) << 32) | a;
      Use& u = edges[key];
      ++u.count;
      u.balance += a < b ? 1 : -1;
    }
  }
  c.edges = edges.size();
  for (const auto& [key, u] : edges) {
    if (u.count == 1) ++c.open_edges;
    if (u.count > 2) ++c.crowded_edges;
    if (u.count == 2 && u.balance != 0) ++c.misoriented_edges;
  }
  return c;
}

TriMesh read_stl(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::string word;
  if (!(in >> word) || word != "solid") throw std::runtime_error(path + " is not an ASCII STL file");
  std::getline(in, word);
  TriMesh mesh;
  std::map<std::array<double, 3>, int> ids;
  std::array<int, 3> tri{};
  int corner = 0;
  while (in >> word) {
    if (word != "vertex") continue;
    std::array<double, 3> p{};
    if (!(in >> p[0] >> p[1] >> p[2])) throw std::runtime_error(path + " has a vertex without three numbers");
    auto [it, fresh] = ids.emplace(p, static_cast<int>(mesh.points.size()));
    if (fresh) mesh.add_point({p[0], p[1], p[2]}, {});
    tri[corner++] = it->second;
    if (corner == 3) {
      mesh.triangles.push_back(tri);
      corner = 0;
    }
  }
  return mesh;
}

}  // namespace orvanta::vsp
