#pragma once
// Components placed in model space: each component's surface, the transform of the
// component itself (copy 0) and of its symmetric images, and a closed triangulation of all
// of them together. A wing whose root lies on its mirror plane is joined to its image along
// the root airfoil, without a wall between the halves; an image that coincides with the
// component (a body centred on its own mirror plane) is not drawn twice.

#include "vsp/component_surface.hpp"
#include "vsp/matrix4.hpp"
#include "vsp/model_data.hpp"

#include <memory>
#include <string>
#include <vector>

namespace orvanta::vsp {

class ComponentGeometry {
 public:
  std::string id, name, type_name;
  std::shared_ptr<const ComponentSurface> surface;
  std::shared_ptr<const SurfaceMesh> local_mesh;  // the surface at the model's density, own frame
  std::vector<Matrix4> copies;  // surface frame to model space; copy 0 is the component itself
  bool joined = false;          // copies 0 and 1 share the root airfoil

  // The point at surface parameters (u, w) of one copy, in model space.
  Vec3 point(int copy, double u, double w) const;
  // Points of a parameter grid of one copy, row-major (u outer, w inner).
  std::vector<Vec3> grid_points(int copy, const std::vector<double>& u, const std::vector<double>& w) const;
  // The same grid triangulated (two triangles per cell, outward like the surface); an open
  // patch, for sampling a surface at chosen parameters rather than for export.
  TriMesh grid_tessellation(int copy, const std::vector<double>& u, const std::vector<double>& w) const;
  // Closed, outward triangulation of every copy at the model's density.
  TriMesh tessellate() const;
  // The same, appended to `out` (points of earlier components stay where they are).
  void tessellate_into(TriMesh& out) const;
};

// More triangles than this in one model is taken for a mistake in the density settings.
constexpr size_t kMaxTriangles = 4000000;

// Model matrix of a component: its placement relative to its parent's attachment frame.
// GeometryBuildError for attachment modes the engine does not support.
Matrix4 model_matrix(const ModelData& data, const Geom& geom);

// The components of set `set` (0: all) that produce a surface; GeometryBuildError naming the
// component when one cannot be drawn (a type or curve the engine does not know, an invalid
// planform, a density above `max_triangles`). Blank components produce nothing.
std::vector<ComponentGeometry> build_geometry(const ModelData& data, int set, size_t max_triangles = kMaxTriangles);

}  // namespace orvanta::vsp
