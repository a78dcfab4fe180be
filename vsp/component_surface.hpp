#pragma once
// The parametric surface of one component in its own frame (before placement and
// symmetry): a point for every (u, w) of its parameter rectangle, and a closed triangulation
// at the density the model's tessellation settings ask for.
//
// Every kind uses the same layout of u: [0, 1] the closing cap before the first section
// (collapsing to the cap's centre line at u = 0), [1, n] the n sections (u = 1 + i at section
// i), [n, n + 1] the closing cap after the last one. Wings run w over [0, 4] around the
// airfoil (0 lower trailing edge, 2 leading edge, 4 upper trailing edge) and (4, 5) across a
// blunt trailing edge; bodies run w over [0, 4) around the section (0 top, 1 right, 2 bottom,
// 3 left).

#include "vsp/tri_mesh.hpp"

#include <string>
#include <vector>

namespace orvanta::vsp {

struct SurfaceMesh {
  TriMesh mesh;               // closed and outward in the component frame
  std::vector<int> first_row;  // point ids of the first section, in w order (wings: the root airfoil)
  size_t first_cap_begin = 0, first_cap_end = 0;  // triangles closing the first section
  bool grid_flipped = false;  // cells of increasing u and w had to be reversed to face outward
};

class ComponentSurface {
 public:
  virtual ~ComponentSurface() = default;
  virtual Vec3 point(double u, double w) const = 0;
  virtual double u_max() const = 0;
  virtual double w_max() const = 0;
  virtual SurfaceMesh tessellate() const = 0;
  // Triangles tessellate() will make, roughly, before making them.
  virtual size_t triangle_estimate() const = 0;

  // Points of a grid of parameters, row-major (u outer, w inner).
  std::vector<Vec3> grid_points(const std::vector<double>& u, const std::vector<double>& w) const;
};

}  // namespace orvanta::vsp
