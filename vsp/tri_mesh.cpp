#include "vsp/tri_mesh.hpp"

#include <algorithm>

namespace orvanta::vsp {

int TriMesh::add_point(Vec3 p, SurfacePoint origin) {
  points.push_back(p);
  origins.push_back(origin);
  return static_cast<int>(points.size()) - 1;
}

void TriMesh::add_triangle(int a, int b, int c) {
  if (a == b || b == c || a == c) return;
  triangles.push_back({a, b, c});
}

void TriMesh::append(const TriMesh& other) {
  const int offset = static_cast<int>(points.size());
  points.insert(points.end(), other.points.begin(), other.points.end());
  origins.insert(origins.end(), other.origins.begin(), other.origins.end());
  triangles.reserve(triangles.size() + other.triangles.size());
  for (const auto& t : other.triangles) triangles.push_back({t[0] + offset, t[1] + offset, t[2] + offset});
}

void TriMesh::flip() {
  for (auto& t : triangles) std::swap(t[1], t[2]);
}

double TriMesh::signed_volume() const {
  double v = 0.0;
  for (const auto& t : triangles) v += dot(points[t[0]], cross(points[t[1]], points[t[2]]));
  return v / 6.0;
}

void add_grid_triangles(TriMesh& mesh, const std::vector<int>& ids, int rows, int cols, bool periodic) {
  const int last_col = periodic ? cols : cols - 1;
  for (int r = 0; r + 1 < rows; ++r) {
    for (int c = 0; c < last_col; ++c) {
      const int c1 = (c + 1) % cols;
      const int a = ids[r * cols + c], b = ids[(r + 1) * cols + c];
      const int d = ids[(r + 1) * cols + c1], e = ids[r * cols + c1];
      mesh.add_triangle(a, b, d);
      mesh.add_triangle(a, d, e);
    }
  }
}

}  // namespace orvanta::vsp
