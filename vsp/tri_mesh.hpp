#pragma once
// Triangle surfaces: points, the surface parameters each point came from, and triangles
// whose corner order gives the outward normal by the right-hand rule.

#include "vsp/matrix4.hpp"
#include "vsp/vec3.hpp"

#include <array>
#include <vector>

namespace orvanta::vsp {

// Where a point lies: copy 0 is the component itself, higher copies its symmetric images.
struct SurfacePoint {
  int copy = 0;
  double u = 0.0, w = 0.0;
};

struct TriMesh {
  std::vector<Vec3> points;
  std::vector<SurfacePoint> origins;  // one per point
  std::vector<std::array<int, 3>> triangles;

  int add_point(Vec3 p, SurfacePoint origin);
  // Adds the triangle unless two of its corners are the same point.
  void add_triangle(int a, int b, int c);
  void append(const TriMesh& other);
  void flip();
  // Volume enclosed by a closed surface: positive when the normals point outward.
  double signed_volume() const;
};

// Triangles of a grid of point ids (row-major, `rows` x `cols`); with `periodic` the last
// column joins the first. Each quad gives two triangles, minus those that collapse because
// ids repeat (poles, closed edges).
void add_grid_triangles(TriMesh& mesh, const std::vector<int>& ids, int rows, int cols, bool periodic);

}  // namespace orvanta::vsp
