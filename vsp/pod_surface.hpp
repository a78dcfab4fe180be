#pragma once
// The surface of a pod component: a body of revolution about x whose radius follows two
// cubic Bezier arcs (nose to widest point, widest point to tail). u runs over [0, 2], one unit
// per arc; w over [0, 4) around (0 top, 1 right, 2 bottom, 3 left).

#include "vsp/component_surface.hpp"
#include "vsp/model_data.hpp"

namespace orvanta::vsp {

class PodSurface : public ComponentSurface {
 public:
  PodSurface(const ModelData& data, const Geom& geom);

  Vec3 point(double u, double w) const override;
  double u_max() const override { return 2.0; }
  double w_max() const override { return 4.0; }
  SurfaceMesh tessellate() const override;
  size_t triangle_estimate() const override;

 private:
  Vec2 profile(double u) const;  // (x, radius)

  double length_ = 10.0, radius_ = 1.0;
  int u_points_ = 9, around_points_ = 17;
};

}  // namespace orvanta::vsp
