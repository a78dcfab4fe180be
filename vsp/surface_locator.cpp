#include "vsp/surface_locator.hpp"

#include "vsp/geometry_error.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace orvanta::vsp {
namespace {

// Samples per unit parameter interval stay within these, whatever the spacing asks for.
constexpr int kMinSamples = 4, kMaxSamples = 2000;

bool wraps_around(const ComponentGeometry& c) { return c.type_name != "Wing"; }

// Parameter values along one direction: every unit interval [k, k + 1] of [0, end] split
// into pieces about `spacing` long, measured as the longest polyline along that interval at a
// few values of the other parameter.
std::vector<double> samples_along(const ComponentSurface& s, bool along_u, double spacing) {
  const double end = along_u ? s.u_max() : s.w_max();
  const double other_end = along_u ? s.w_max() : s.u_max();
  auto at = [&](double t, double other) { return along_u ? s.point(t, other) : s.point(other, t); };
  std::vector<double> out{0.0};
  for (double k = 0.0; k < end - 1e-12; k += 1.0) {
    const double hi = std::min(k + 1.0, end);
    double longest = 0.0;
    for (int j = 0; j <= 16; ++j) {
      const double other = other_end * j / 16.0;
      double length = 0.0;
      Vec3 prev = at(k, other);
      for (int i = 1; i <= 16; ++i) {
        const Vec3 q = at(k + (hi - k) * i / 16.0, other);
        length += norm(q - prev);
        prev = q;
      }
      longest = std::max(longest, length);
    }
    const int n = std::clamp(static_cast<int>(std::ceil(longest / spacing)), kMinSamples, kMaxSamples);
    for (int i = 1; i <= n; ++i) out.push_back(k + (hi - k) * i / n);
  }
  return out;
}

double model_extent(const std::vector<ComponentGeometry>& components) {
  Vec3 lo{std::numeric_limits<double>::max(), std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
  Vec3 hi = -1.0 * lo;
  for (const auto& c : components)
    for (const Vec3& local : c.local_mesh->mesh.points)
      for (size_t k = 0; k < c.copies.size(); ++k) {
        const Vec3 p = c.copies[k].apply(local);
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
      }
  return hi.x >= lo.x ? norm(hi - lo) : 1.0;
}

const ComponentGeometry& named(const std::vector<ComponentGeometry>& components, const std::string& name,
                               int copy, const char* which) {
  for (const auto& c : components) {
    if (c.name != name) continue;
    if (copy < 0 || copy >= static_cast<int>(c.copies.size()))
      throw GeometryBuildError("component `" + name + "` of the " + which + " model has no symmetric copy " +
                               std::to_string(copy));
    return c;
  }
  throw GeometryBuildError("the " + std::string(which) + " model has no component `" + name + "`");
}

}  // namespace

SurfaceLocator::SurfaceLocator(std::vector<ComponentGeometry> components, double spacing)
    : components_(std::move(components)) {
  for (size_t i = 0; i < components_.size(); ++i)
    for (size_t j = 0; j < i; ++j)
      if (components_[i].name == components_[j].name)
        throw GeometryBuildError("two components are named `" + components_[i].name +
                                 "`; points on them could not be told apart");
  if (!(spacing > 0.0)) spacing = model_extent(components_) / 400.0;
  std::vector<Vec3> points;
  std::vector<std::array<int, 3>> triangles;
  for (size_t c = 0; c < components_.size(); ++c) add_samples(static_cast<int>(c), spacing, points, triangles);
  bins_ = std::make_unique<internal::TriangleBins>(std::move(points), std::move(triangles), 2.0 * spacing);
}

void SurfaceLocator::add_samples(int component, double spacing, std::vector<Vec3>& points,
                                 std::vector<std::array<int, 3>>& triangles) {
  const ComponentGeometry& c = components_[static_cast<size_t>(component)];
  const auto u = samples_along(*c.surface, true, spacing);
  const auto w = samples_along(*c.surface, false, spacing);
  const double tiny_area2 = std::pow(1e-9 * spacing * spacing, 2);
  for (int copy = 0; copy < static_cast<int>(c.copies.size()); ++copy) {
    const int base = static_cast<int>(points.size());
    const auto grid = c.grid_points(copy, u, w);
    points.insert(points.end(), grid.begin(), grid.end());
    for (double uu : u)
      for (double ww : w) samples_.push_back({component, copy, uu, ww});
    const int cols = static_cast<int>(w.size());
    auto add = [&](int a, int b, int d) {
      const Vec3 n = cross(points[b] - points[a], points[d] - points[a]);
      if (dot(n, n) > tiny_area2) triangles.push_back({a, b, d});
    };
    for (int r = 0; r + 1 < static_cast<int>(u.size()); ++r)
      for (int k = 0; k + 1 < cols; ++k) {
        const int a = base + r * cols + k, b = a + cols;
        add(a, b, b + 1);
        add(a, b + 1, a + 1);
      }
  }
}

SurfaceLocation SurfaceLocator::locate(Vec3 p) const {
  const auto hit = bins_->nearest(p);
  if (hit.triangle < 0) throw GeometryBuildError("the model has no surface to locate points on");
  // The triangle's corners are samples of one component copy: interpolate their parameters.
  const auto& corners = bins_->triangle(hit.triangle);
  const Sample& first = samples_[static_cast<size_t>(corners[0])];
  double u = 0.0, w = 0.0;
  for (int k = 0; k < 3; ++k) {
    const Sample& s = samples_[static_cast<size_t>(corners[k])];
    u += hit.closest.weights[k] * s.u;
    w += hit.closest.weights[k] * s.w;
  }
  const ComponentGeometry& c = components_[static_cast<size_t>(first.component)];
  refine_location(c, first.copy, p, u, w);
  return {c.name, first.copy, u, w, norm(c.point(first.copy, u, w) - p)};
}

void refine_location(const ComponentGeometry& c, int copy, Vec3 p, double& u, double& w) {
  const double u_max = c.surface->u_max(), w_max = c.surface->w_max();
  const bool wrap = wraps_around(c);
  auto settle = [&](double& uu, double& ww) {
    uu = std::clamp(uu, 0.0, u_max);
    ww = wrap ? ww - w_max * std::floor(ww / w_max) : std::clamp(ww, 0.0, w_max);
  };
  auto distance2 = [&](double uu, double ww) {
    const Vec3 d = c.point(copy, uu, ww) - p;
    return dot(d, d);
  };
  settle(u, w);
  double best = distance2(u, w), lambda = 1e-3;
  const double h = 1e-6;
  for (int iter = 0; iter < 40 && best > 0.0; ++iter) {
    // Central differences, one-sided where the parameter range ends.
    auto derivative = [&](bool along_u) {
      double a = (along_u ? u : w) - h, b = (along_u ? u : w) + h;
      const double hi = along_u ? u_max : w_max;
      if (!(wrap && !along_u)) a = std::max(a, 0.0), b = std::min(b, hi);
      const Vec3 pa = along_u ? c.point(copy, a, w) : c.point(copy, u, a);
      const Vec3 pb = along_u ? c.point(copy, b, w) : c.point(copy, u, b);
      return (1.0 / (b - a)) * (pb - pa);
    };
    const Vec3 su = derivative(true), sw = derivative(false);
    const Vec3 r = c.point(copy, u, w) - p;
    const double a11 = dot(su, su), a12 = dot(su, sw), a22 = dot(sw, sw);
    const double b1 = -dot(su, r), b2 = -dot(sw, r);
    bool improved = false;
    while (lambda < 1e12) {
      const double m11 = a11 * (1 + lambda) + 1e-300, m22 = a22 * (1 + lambda) + 1e-300;
      const double det = m11 * m22 - a12 * a12;
      if (!(std::abs(det) > 0.0)) break;
      double nu = u + (b1 * m22 - b2 * a12) / det, nw = w + (m11 * b2 - a12 * b1) / det;
      settle(nu, nw);
      const double d2 = distance2(nu, nw);
      if (d2 < best) {
        const double step = std::abs(nu - u) + std::abs(nw - w);
        u = nu, w = nw, best = d2, improved = true;
        lambda = std::max(lambda * 0.1, 1e-12);
        if (step < 1e-13) return;
        break;
      }
      lambda *= 10.0;
    }
    if (!improved) return;
  }
}

std::vector<Vec3> surface_displacements(const std::vector<SurfaceLocation>& locations,
                                        const std::vector<ComponentGeometry>& before,
                                        const std::vector<ComponentGeometry>& after) {
  std::vector<Vec3> out;
  out.reserve(locations.size());
  for (const SurfaceLocation& l : locations) {
    const ComponentGeometry& b = named(before, l.component, l.copy, "baseline");
    const ComponentGeometry& a = named(after, l.component, l.copy, "changed");
    out.push_back(a.point(l.copy, l.u, l.w) - b.point(l.copy, l.u, l.w));
  }
  return out;
}

}  // namespace orvanta::vsp
