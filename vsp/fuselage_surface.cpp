#include "vsp/fuselage_surface.hpp"

#include "vsp/geometry_error.hpp"
#include "vsp/internal/body_mesh.hpp"
#include "vsp/spacing.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orvanta::vsp {
namespace {

constexpr double kDeg = std::numbers::pi / 180.0;
const char* const kSides[4] = {"Top", "Right", "Bottom", "Left"};

int eight_k_plus_one(int n) {
  n = std::max(n, 9);
  return n + (8 - (n - 1) % 8) % 8;
}

// Value around the section at w, linear between the four sides.
double around(const std::array<double, 4>& v, double w) {
  w = std::fmod(w, 4.0);
  if (w < 0.0) w += 4.0;
  const int q = std::min(static_cast<int>(w), 3);
  const double t = w - q;
  return v[q] + t * (v[(q + 1) % 4] - v[q]);
}

}  // namespace

FuselageSurface::FuselageSurface(const ModelData& data, const Geom& geom) {
  const std::string name = "fuselage `" + data.geom_name(geom) + "`";
  const int n = static_cast<int>(geom.xsecs.size());
  if (n < 2) throw GeometryBuildError(name + " has " + std::to_string(n) + " cross-section(s); it needs two or more");
  const double length = data.value(geom.container, "Design", "Length", 1.0);
  for (int i = 0; i < n; ++i) {
    const int c = geom.xsecs[i].container;
    auto v = [&](const std::string& parm, double fallback) { return data.value(c, "XSec", parm, fallback); };
    Section s;
    s.centre = {v("XLocPercent", 0.0) * length, v("YLocPercent", 0.0) * length, v("ZLocPercent", 0.0) * length};
    s.rotation = Matrix4::rotation_x(v("XRotate", 0.0)) * Matrix4::rotation_y(v("YRotate", 0.0)) *
                 Matrix4::rotation_z(v("ZRotate", 0.0));
    s.curve = make_body_curve(data, geom.xsecs[i].curve, name + " cross-section " + std::to_string(i));
    const bool all = v("AllSym", 0.0) != 0.0, tb = v("TBSym", 0.0) != 0.0, rl = v("RLSym", 0.0) != 0.0;
    for (int side = 0; side < 2; ++side) {
      Skin& skin = side == 0 ? s.in : s.out;
      const std::string lr = side == 0 ? "L" : "R";
      for (int k = 0; k < 4; ++k) {
        int src = k;
        if (all) src = 0;
        else if (tb && k == 2) src = 0;
        else if (rl && k == 3) src = 1;
        const std::string base = kSides[src] + lr;
        skin.angle[k] = v(base + "Angle", 0.0);
        skin.strength[k] = v(base + "StrengthSet", 0.0) != 0.0 ? v(base + "Strength", 1.0) : 1.0;
        if (k == 0) skin.angle_set = v(base + "AngleSet", 0.0) != 0.0;
      }
    }
    sections_.push_back(std::move(s));
  }
  const int gc = geom.container;
  density_.around_points = eight_k_plus_one(static_cast<int>(data.value(gc, "Shape", "Tess_W", 17.0)));
  for (int i = 1; i < n; ++i) {
    const int c = geom.xsecs[i].container;
    density_.segment_points.push_back(std::max(2, static_cast<int>(data.value(c, "XSec", "SectTess_U", 6.0))));
    density_.fwd_cluster.push_back(data.value(c, "XSec", "FwdCluster", 1.0));
    density_.aft_cluster.push_back(data.value(c, "XSec", "AftCluster", 1.0));
  }
}

Vec3 FuselageSurface::section_point(int i, double w) const {
  const Section& s = sections_[i];
  const Vec2 p = s.curve.point(w);
  return s.centre + s.rotation.apply_direction({0.0, p.x, p.y});
}

Vec3 FuselageSurface::tangent(int i, double w, bool outgoing) const {
  const int n = static_cast<int>(sections_.size());
  const int j = outgoing ? i + 1 : i - 1;
  const Vec3 p = section_point(i, w), q = section_point(j, w);
  const double d = norm(q - p);
  if (d == 0.0) return {};
  const Section& s = sections_[i];
  const Skin& skin = outgoing ? s.out : s.in;
  Vec3 dir;
  if (skin.angle_set) {
    const Vec3 axis = normalized(s.rotation.apply_direction({1.0, 0.0, 0.0}));
    Vec3 radial = p - s.centre;
    if (norm(radial) < 1e-12 * d) radial = q - sections_[j].centre;  // a pole borrows its neighbour's direction
    radial = normalized(radial - dot(radial, axis) * axis);
    const double a = around(skin.angle, w) * kDeg;
    dir = std::cos(a) * axis + std::sin(a) * radial;
  } else {
    const int prev = std::max(i - 1, 0), next = std::min(i + 1, n - 1);
    dir = normalized(section_point(next, w) - section_point(prev, w));
  }
  return around(skin.strength, w) * d * dir;
}

Vec3 FuselageSurface::segment_point(int i, double t, double w) const {
  const double t2 = t * t, t3 = t2 * t;
  const double h00 = 2 * t3 - 3 * t2 + 1, h10 = t3 - 2 * t2 + t, h01 = -2 * t3 + 3 * t2, h11 = t3 - t2;
  return h00 * section_point(i, w) + h10 * tangent(i, w, true) + h01 * section_point(i + 1, w) +
         h11 * tangent(i + 1, w, false);
}

Vec3 FuselageSurface::point(double u, double w) const {
  const int n = static_cast<int>(sections_.size());
  u = std::clamp(u, 0.0, n + 1.0);
  if (u < 1.0) return lerp(sections_.front().centre, section_point(0, w), u);
  if (u > n) return lerp(section_point(n - 1, w), sections_.back().centre, u - n);
  const int i = std::min(static_cast<int>(u - 1.0), n - 2);
  return segment_point(i, u - 1.0 - i, w);
}

SurfaceMesh FuselageSurface::tessellate() const { return tessellate(density_); }

size_t FuselageSurface::triangle_estimate() const {
  size_t rows = 1;
  for (int p : density_.segment_points) rows += static_cast<size_t>(std::max(p, 2) - 1);
  return 2 * (rows + 1) * static_cast<size_t>(eight_k_plus_one(density_.around_points));
}

SurfaceMesh FuselageSurface::tessellate(const FuselageTessellation& d) const {
  const int n = static_cast<int>(sections_.size());
  internal::BodyGrid g;
  const int cols = eight_k_plus_one(d.around_points) - 1;
  for (int c = 0; c < cols; ++c) g.w.push_back(4.0 * c / cols);
  g.u.push_back(1.0);
  for (int i = 0; i + 1 < n; ++i) {
    const size_t k = static_cast<size_t>(i);
    const auto s = clustered_spacing(k < d.segment_points.size() ? d.segment_points[k] : 2,
                                     k < d.fwd_cluster.size() ? d.fwd_cluster[k] : 1.0,
                                     k < d.aft_cluster.size() ? d.aft_cluster[k] : 1.0);
    for (size_t j = 1; j < s.size(); ++j) g.u.push_back(1.0 + i + s[j]);
  }
  // Section points and end slopes once per column; rows are then cheap blends of them.
  const size_t cols_n = g.w.size();
  std::vector<Vec3> pts(n * cols_n), t_out(n * cols_n), t_in(n * cols_n);
  for (int i = 0; i < n; ++i)
    for (size_t c = 0; c < cols_n; ++c) {
      pts[i * cols_n + c] = section_point(i, g.w[c]);
      if (i + 1 < n) t_out[i * cols_n + c] = tangent(i, g.w[c], true);
      if (i > 0) t_in[i * cols_n + c] = tangent(i, g.w[c], false);
    }
  for (double u : g.u) {
    const int i = std::min(static_cast<int>(u - 1.0), n - 2);
    const double t = u - 1.0 - i, t2 = t * t, t3 = t2 * t;
    const double h00 = 2 * t3 - 3 * t2 + 1, h10 = t3 - 2 * t2 + t, h01 = -2 * t3 + 3 * t2, h11 = t3 - t2;
    const bool at_section = t == 0.0 || t == 1.0;
    g.pole.push_back(at_section && sections_[t == 1.0 ? i + 1 : i].curve.is_point());
    for (size_t c = 0; c < cols_n; ++c) {
      const size_t a = i * cols_n + c, b = (i + 1) * cols_n + c;
      g.points.push_back(h00 * pts[a] + h10 * t_out[a] + h01 * pts[b] + h11 * t_in[b]);
    }
  }
  g.first_centre = sections_.front().centre;
  g.last_centre = sections_.back().centre;
  g.first_cap_u = 0.0;
  g.last_cap_u = n + 1.0;
  return internal::body_mesh(g);
}

}  // namespace orvanta::vsp
