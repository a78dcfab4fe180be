#pragma once
// Nearest triangle of a fixed triangulation: triangles binned by their bounding boxes in a
// uniform grid, searched in growing shells of cells around the query point.

#include "vsp/vec3.hpp"

#include <array>
#include <vector>

namespace orvanta::vsp::internal {

// The point of triangle (a, b, c) closest to p, with its barycentric weights.
struct TrianglePoint {
  Vec3 point;
  std::array<double, 3> weights{};
  double distance2 = 0.0;
};
TrianglePoint closest_on_triangle(Vec3 p, Vec3 a, Vec3 b, Vec3 c);

class TriangleBins {
 public:
  // `cell` is the edge of a grid cell; it grows when the grid would hold too many cells.
  TriangleBins(std::vector<Vec3> points, std::vector<std::array<int, 3>> triangles, double cell);

  struct Hit {
    int triangle = -1;  // -1 only when there are no triangles
    TrianglePoint closest;
  };
  Hit nearest(Vec3 p) const;
  const std::array<int, 3>& triangle(int t) const { return triangles_[static_cast<size_t>(t)]; }

 private:
  Hit brute_force(Vec3 p) const;
  void test_cell(size_t cell, Vec3 p, Hit& best) const;

  std::vector<Vec3> points_;
  std::vector<std::array<int, 3>> triangles_;
  Vec3 origin_;
  double cell_ = 1.0;
  std::array<int, 3> dims_{1, 1, 1};
  std::vector<size_t> starts_;  // CSR: triangles of cell k are entries_[starts_[k] .. starts_[k + 1])
  std::vector<int> entries_;
};

}  // namespace orvanta::vsp::internal
