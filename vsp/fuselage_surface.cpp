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

}  // namespace

namespace {

// Second derivatives of the periodic cubic spline through four values one unit apart.
std::array<double, 4> periodic_moments(const std::array<double, 4>& y) {
  // M[k-1] + 4 M[k] + M[k+1] = 6 (y[k+1] - 2 y[k] + y[k-1]), k cyclic; the system's
  // inverse is (1/24) [7 -2 1 -2] cyclic.
  std::array<double, 4> r{}, m{};
  for (int k = 0; k < 4; ++k) r[k] = 6.0 * (y[(k + 1) % 4] - 2.0 * y[k] + y[(k + 3) % 4]);
  const double inv[4] = {7.0 / 24.0, -2.0 / 24.0, 1.0 / 24.0, -2.0 / 24.0};
  for (int k = 0; k < 4; ++k)
    for (int j = 0; j < 4; ++j) m[k] += inv[(j - k + 4) % 4] * r[j];
  return m;
}

// A skinning value around the section at w: the smooth periodic curve through the four sides.
double around_smooth(const std::array<double, 4>& y, double w) {
  w = std::fmod(w, 4.0);
  if (w < 0.0) w += 4.0;
  const int k = std::min(static_cast<int>(w), 3), k1 = (k + 1) % 4;
  const auto m = periodic_moments(y);
  const double t = w - k, s = 1.0 - t;
  return s * y[k] + t * y[k1] + ((s * s * s - s) * m[k] + (t * t * t - t) * m[k1]) / 6.0;
}

// Distance to the nearer neighbour, counting the larger change of half width or half height.
double skin_scale(const std::vector<Vec3>& centres, const std::vector<Vec2>& sizes, size_t i) {
  double scale = 1e12;
  for (size_t j : {i - 1, i + 1}) {
    if (j >= centres.size()) continue;
    const Vec3 d = centres[j] - centres[i];
    const double dw = 0.5 * (sizes[j].x - sizes[i].x), dh = 0.5 * (sizes[j].y - sizes[i].y);
    scale = std::min(scale, std::sqrt(dot(d, d) + std::max(dw * dw, dh * dh)));
  }
  return std::max(scale, 1e-4);
}

}  // namespace

FuselageSurface::FuselageSurface(const ModelData& data, const Geom& geom) {
  const std::string name =
      (geom.type_name == "Stack" ? "stack `" : "fuselage `") + data.geom_name(geom) + "`";
  const int n = static_cast<int>(geom.xsecs.size());
  if (n < 2)
    throw GeometryBuildError(name + " has " + std::to_string(n) + " cross-section(s); it needs two or more");
  const double length = data.value(geom.container, "Design", "Length", 1.0);
  const bool stack = geom.type_name == "Stack";
  Matrix4 stacked;  // a stack's sections each sit relative to the previous one
  std::vector<SkinRib> ribs(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const int c = geom.xsecs[i].container;
    auto v = [&](const std::string& parm, double fallback) { return data.value(c, "XSec", parm, fallback); };
    Section s;
    s.curve = make_body_curve(data, geom.xsecs[i].curve, name + " cross-section " + std::to_string(i));
    s.width = s.curve.width(), s.height = s.curve.height();
    if (stack) {
      const bool absolute = v("XSAbsRelFlag", 1.0) == 0.0;
      const char* const names[2][6] = {{"XDelta", "YDelta", "ZDelta", "XRotate", "YRotate", "ZRotate"},
                                       {"XAbs", "YAbs", "ZAbs", "XRotateAbs", "YRotateAbs", "ZRotateAbs"}};
      const auto& k = names[absolute ? 1 : 0];
      stacked = (absolute ? Matrix4() : stacked) *
                Matrix4::translation({v(k[0], 0.0), v(k[1], 0.0), v(k[2], 0.0)}) *
                Matrix4::rotation_x(v(k[3], 0.0)) * Matrix4::rotation_y(v(k[4], 0.0)) *
                Matrix4::rotation_z(v(k[5], 0.0));
      s.centre = stacked.apply({0.0, 0.0, -0.5 * v("VAlign", 0.0) * s.height});
      s.rotation = stacked.linear_part();
    } else {
      s.centre = {v("XLocPercent", 0.0) * length, v("YLocPercent", 0.0) * length,
                  v("ZLocPercent", 0.0) * length};
      s.rotation = Matrix4::rotation_x(v("XRotate", 0.0)) * Matrix4::rotation_y(v("YRotate", 0.0)) *
                   Matrix4::rotation_z(v("ZRotate", 0.0));
    }
    const bool first = i == 0, last = i == n - 1;
    const int continuity = first || last ? 0 : static_cast<int>(v("ContinuityTop", 0.0));
    // Every side takes the top's values under AllSym; the bottom the top's under TBSym, the
    // left the right's under RLSym.
    const bool all = v("AllSym", 1.0) != 0.0, tb = v("TBSym", 1.0) != 0.0, rl = v("RLSym", 1.0) != 0.0;
    auto side_source = [&](int k) { return all ? 0 : (tb && k == 2) ? 0 : (rl && k == 3) ? 1 : k; };
    auto read_skin = [&](const std::string& lr, bool equal_to_left) {
      Skin skin;
      for (int k = 0; k < 4; ++k) {
        const int src = side_source(k);
        const std::string base = std::string(kSides[src]) + (equal_to_left ? "L" : lr);
        skin.angle[k] = v(base + "Angle", 0.0);
        skin.strength[k] = v(base + "Strength", 1.0);
      }
      return skin;
    };
    // A section that sets its incoming angle and is smooth uses it on both sides; the first
    // section's incoming values shape its outgoing side.
    const bool l_set = v("TopLAngleSet", 0.0) != 0.0;
    const bool lr_equal = v("TopLRAngleEq", 0.0) != 0.0 || (continuity >= 1 && l_set);
    const bool r_set = v("TopRAngleSet", 0.0) != 0.0 || lr_equal;
    s.in = read_skin("L", false);
    s.in.given = l_set && !first;
    s.out = read_skin("R", lr_equal || first);
    s.out.given = first ? l_set : (r_set && !last);
    ribs[static_cast<size_t>(i)] = {continuity, s.in.given, s.out.given};
    sections_.push_back(std::move(s));
  }
  std::vector<Vec3> centres;
  std::vector<Vec2> sizes;
  for (const Section& s : sections_) centres.push_back(s.centre), sizes.push_back({s.width, s.height});
  for (size_t i = 0; i < sections_.size(); ++i) sections_[i].scale = skin_scale(centres, sizes, i);
  skin_ = std::make_shared<const SkinSolver>(std::move(ribs));

  const int gc = geom.container;
  density_.around_points = eight_k_plus_one(static_cast<int>(data.value(gc, "Shape", "Tess_W", 17.0)));
  for (int i = 1; i < n; ++i) {
    const int c = geom.xsecs[i].container;
    density_.segment_points.push_back(
        std::max(2, static_cast<int>(data.value(c, "XSec", "SectTess_U", 6.0))));
    density_.fwd_cluster.push_back(data.value(c, "XSec", "FwdCluster", 1.0));
    density_.aft_cluster.push_back(data.value(c, "XSec", "AftCluster", 1.0));
  }
}

Vec3 FuselageSurface::section_point(int i, double w) const {
  const Section& s = sections_[i];
  const Vec2 p = s.curve.point(w);
  return s.centre + s.rotation.apply_direction({0.0, p.x, p.y});
}

// The slope leaves along the section's axis turned outward by the angle, towards the side the
// parameter points to on a circle (top at w = 0, right at w = 1).
Vec3 FuselageSurface::slope(int i, double w, bool outgoing) const {
  const Section& s = sections_[i];
  const Skin& skin = outgoing ? s.out : s.in;
  if (!skin.given) return {};
  const double phi = 0.5 * std::numbers::pi * w;
  const Vec3 axis = s.rotation.apply_direction({1.0, 0.0, 0.0});
  const Vec3 radial = s.rotation.apply_direction({0.0, std::sin(phi), std::cos(phi)});
  const double a = around_smooth(skin.angle, w) * kDeg;
  return around_smooth(skin.strength, w) * s.scale * (std::cos(a) * axis + std::sin(a) * radial);
}

std::vector<std::vector<Vec3>> FuselageSurface::column(double w) const {
  const int n = static_cast<int>(sections_.size());
  std::vector<Vec3> pts(n), in(n), out(n);
  for (int i = 0; i < n; ++i) {
    pts[i] = section_point(i, w);
    in[i] = slope(i, w, false);
    out[i] = slope(i, w, true);
  }
  return skin_->solve(pts, in, out);
}

Vec3 FuselageSurface::point(double u, double w) const {
  const int n = static_cast<int>(sections_.size());
  u = std::clamp(u, 0.0, n + 1.0);
  if (u < 1.0) return lerp(sections_.front().centre, section_point(0, w), u);
  if (u > n) return lerp(section_point(n - 1, w), sections_.back().centre, u - n);
  const int i = std::min(static_cast<int>(u - 1.0), n - 2);
  return bezier_point(column(w)[static_cast<size_t>(i)], u - 1.0 - i);
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
  // Control points once per column; rows are then cheap evaluations of them.
  const size_t cols_n = g.w.size();
  std::vector<std::vector<std::vector<Vec3>>> ctrl(cols_n);
  for (size_t c = 0; c < cols_n; ++c) ctrl[c] = column(g.w[c]);
  for (double u : g.u) {
    const int i = std::min(static_cast<int>(u - 1.0), n - 2);
    const double t = u - 1.0 - i;
    const bool at_section = t == 0.0 || t == 1.0;
    g.pole.push_back(at_section && sections_[t == 1.0 ? i + 1 : i].curve.is_point());
    for (size_t c = 0; c < cols_n; ++c) g.points.push_back(bezier_point(ctrl[c][static_cast<size_t>(i)], t));
  }
  g.first_centre = sections_.front().centre;
  g.last_centre = sections_.back().centre;
  g.first_cap_u = 0.0;
  g.last_cap_u = n + 1.0;
  return internal::body_mesh(g);
}

}  // namespace orvanta::vsp
