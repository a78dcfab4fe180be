#include "vsp/pod_surface.hpp"

#include "vsp/geometry_error.hpp"
#include "vsp/internal/body_mesh.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orvanta::vsp {

PodSurface::PodSurface(const ModelData& data, const Geom& geom) {
  length_ = data.value(geom.container, "Design", "Length", 10.0);
  const double fineness = data.value(geom.container, "Design", "FineRatio", 15.0);
  if (!(length_ > 0.0) || !(fineness > 0.0))
    throw GeometryBuildError("pod `" + data.geom_name(geom) + "` needs a positive length and fineness ratio");
  radius_ = length_ / fineness;
  u_points_ = std::max(3, static_cast<int>(data.value(geom.container, "Shape", "Tess_U", 9.0)));
  around_points_ = std::max(9, static_cast<int>(data.value(geom.container, "Shape", "Tess_W", 17.0)));
}

Vec2 PodSurface::profile(double u) const {
  const double L = length_, R = radius_;
  const bool front = u <= 1.0;
  const double t = front ? u : u - 1.0, s = 1.0 - t;
  const Vec2 a = front ? Vec2{0.0, 0.0} : Vec2{0.5 * L, R};
  const Vec2 b = front ? Vec2{0.05 * L, 0.95 * R} : Vec2{0.6 * L, R};
  const Vec2 c = front ? Vec2{0.2 * L, R} : Vec2{0.95 * L, 0.3 * R};
  const Vec2 d = front ? Vec2{0.5 * L, R} : Vec2{L, 0.0};
  const double k0 = s * s * s, k1 = 3 * s * s * t, k2 = 3 * s * t * t, k3 = t * t * t;
  return {k0 * a.x + k1 * b.x + k2 * c.x + k3 * d.x, k0 * a.y + k1 * b.y + k2 * c.y + k3 * d.y};
}

Vec3 PodSurface::point(double u, double w) const {
  const Vec2 p = profile(std::clamp(u, 0.0, 2.0));
  const double theta = 0.5 * std::numbers::pi * w;
  return {p.x, p.y * std::sin(theta), p.y * std::cos(theta)};
}

size_t PodSurface::triangle_estimate() const {
  return 4 * static_cast<size_t>(u_points_) * static_cast<size_t>(around_points_ + 3);
}

SurfaceMesh PodSurface::tessellate() const {
  internal::BodyGrid g;
  const int cols = std::max(8, (around_points_ - 1 + 3) / 4 * 4);
  for (int c = 0; c < cols; ++c) g.w.push_back(4.0 * c / cols);
  for (int patch = 0; patch < 2; ++patch)
    for (int k = patch == 0 ? 0 : 1; k < u_points_; ++k) g.u.push_back(patch + static_cast<double>(k) / (u_points_ - 1));
  for (double u : g.u) {
    g.pole.push_back(u == 0.0 || u == 2.0);
    for (double w : g.w) g.points.push_back(point(u, w));
  }
  return internal::body_mesh(g);
}

}  // namespace orvanta::vsp
