#include "vsp/body_curve.hpp"

#include "vsp/airfoil.hpp"
#include "vsp/edit_curve.hpp"
#include "vsp/geometry_error.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orvanta::vsp {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kArcSamples = 128;
// Bezier handle length that makes a cubic quarter follow a circle closely.
constexpr double kCircleHandle = 0.5522847498;

double signed_power(double v, double e) { return std::copysign(std::pow(std::abs(v), e), v); }

Vec2 bezier(Vec2 a, Vec2 b, Vec2 c, Vec2 d, double t) {
  const double s = 1.0 - t;
  const double k0 = s * s * s, k1 = 3 * s * s * t, k2 = 3 * s * t * t, k3 = t * t * t;
  return {k0 * a.x + k1 * b.x + k2 * c.x + k3 * d.x, k0 * a.y + k1 * b.y + k2 * c.y + k3 * d.y};
}

// A closed curve symmetric about its vertical axis, given by its right half: quarter 0 runs
// from the top down to the widest point, quarter 1 from there to the bottom.
BodyCurve mirrored(std::function<Vec2(int, double)> right) {
  return BodyCurve(
      [right](int q, double t) {
        if (q < 2) return right(q, t);
        const Vec2 p = right(3 - q, 1.0 - t);
        return Vec2{-p.x, p.y};
      },
      false);
}

// Straight run, quarter circle, straight run: a rectangle's corner between its top centre
// (0, h) and its side centre (w, 0), traversed in that direction for t in [0, 1].
Vec2 corner_path(double w, double h, double r, double t) {
  r = std::clamp(r, 0.0, std::min(w, h));
  const double a = w - r, arc = 0.5 * kPi * r, c = h - r, total = a + arc + c;
  if (total <= 0.0) return {0.0, 0.0};
  double s = t * total;
  if (s <= a) return {s, h};
  s -= a;
  if (s <= arc && r > 0.0) {
    const double phi = s / r;  // from the top of the arc towards the side
    return {a + r * std::sin(phi), c + r * std::cos(phi)};
  }
  s -= arc;
  return {w, c - s};
}

}  // namespace

BodyCurve::BodyCurve(std::function<Vec2(int, double)> quarter, bool is_point)
    : quarter_(std::move(quarter)), is_point_(is_point) {
  for (int q = 0; q < 4; ++q)
    arcs_[q].build([this, q](double t) { return quarter_(q, t); }, 0.0, 1.0, kArcSamples, false);
}

Vec2 BodyCurve::point(double w) const {
  w = std::fmod(w, 4.0);
  if (w < 0.0) w += 4.0;
  const int q = std::min(static_cast<int>(w), 3);
  return quarter_(q, arcs_[q].parameter_at(w - q));
}

BodyCurve point_curve() {
  return BodyCurve([](int, double) { return Vec2{0.0, 0.0}; }, true);
}

BodyCurve ellipse_curve(double width, double height) {
  const double a = 0.5 * width, b = 0.5 * height;
  return BodyCurve(
      [a, b](int q, double t) {
        const double theta = 0.5 * kPi * (q + t);
        return Vec2{a * std::sin(theta), b * std::cos(theta)};
      },
      a == 0.0 && b == 0.0);
}

BodyCurve super_ellipse_curve(double width, double height, double m_top, double n_top, double m_bottom,
                              double n_bottom, double max_width_location) {
  const double a = 0.5 * width, z = max_width_location * 0.5 * height;
  const double b_top = 0.5 * height - z, b_bottom = 0.5 * height + z;
  return BodyCurve(
      [=](int q, double t) {
        const double theta = 0.5 * kPi * (q + t);
        const double s = std::sin(theta), c = std::cos(theta);
        if (q == 0 || q == 3)
          return Vec2{a * signed_power(s, 2.0 / m_top), z + b_top * std::pow(std::abs(c), 2.0 / n_top)};
        return Vec2{a * signed_power(s, 2.0 / m_bottom),
                    z - b_bottom * std::pow(std::abs(c), 2.0 / n_bottom)};
      },
      width == 0.0 && height == 0.0);
}

BodyCurve rounded_rect_curve(double width, double height, std::array<double, 4> r) {
  const double w = 0.5 * width, h = 0.5 * height;
  return BodyCurve(
      [=](int q, double t) {
        switch (q) {
          case 0: return corner_path(w, h, r[0], t);
          case 1: {
            const Vec2 p = corner_path(w, h, r[3], 1.0 - t);
            return Vec2{p.x, -p.y};
          }
          case 2: {
            const Vec2 p = corner_path(w, h, r[2], t);
            return Vec2{-p.x, -p.y};
          }
          default: {
            const Vec2 p = corner_path(w, h, r[1], 1.0 - t);
            return Vec2{-p.x, p.y};
          }
        }
      },
      width == 0.0 && height == 0.0);
}

BodyCurve general_fuse_curve(double width, double height, double max_width_location, double top_angle,
                             double bottom_angle, double top_strength, double bottom_strength,
                             double up_strength, double low_strength) {
  const double w = 0.5 * width, h = 0.5 * height, z = max_width_location * h;
  const double ta = top_angle * kPi / 180.0, ba = bottom_angle * kPi / 180.0;
  const Vec2 top{0.0, h}, side{w, z}, bottom{0.0, -h};
  const Vec2 top_handle{top.x + kCircleHandle * top_strength * w * std::cos(ta),
                        top.y - kCircleHandle * top_strength * w * std::sin(ta)};
  const Vec2 up_handle{side.x, side.y + kCircleHandle * up_strength * (h - z)};
  const Vec2 low_handle{side.x, side.y - kCircleHandle * low_strength * (h + z)};
  const Vec2 bottom_handle{bottom.x + kCircleHandle * bottom_strength * w * std::cos(ba),
                           bottom.y + kCircleHandle * bottom_strength * w * std::sin(ba)};
  if (width == 0.0 && height == 0.0) return point_curve();
  return mirrored([=](int q, double t) {
    return q == 0 ? bezier(top, top_handle, up_handle, side, t)
                  : bezier(side, low_handle, bottom_handle, bottom, t);
  });
}

namespace {

// Rotation, scale and shifts that every curve carries.
BodyCurve placed(const BodyCurve& base, double theta_deg, double scale, double dx, double dy) {
  if (theta_deg == 0.0 && scale == 1.0 && dx == 0.0 && dy == 0.0) return base;
  const double c = std::cos(theta_deg * kPi / 180.0), s = std::sin(theta_deg * kPi / 180.0);
  return BodyCurve(
      [=](int q, double t) {
        const Vec2 p = base.point(q + t);
        return Vec2{scale * (c * p.x - s * p.y) + dx, scale * (s * p.x + c * p.y) + dy};
      },
      base.is_point() && dx == 0.0 && dy == 0.0);
}

std::array<double, 4> corner_radii(const ModelData& data, int c) {
  const double tr = data.value(c, "XSecCurve", "RoundRectXSec_Radius", 0.0);
  double tl = data.value(c, "XSecCurve", "RoundRectXSec_RadiusTL", tr);
  double bl = data.value(c, "XSecCurve", "RoundRectXSec_RadiusBL", tr);
  double br = data.value(c, "XSecCurve", "RoundRectXSec_RadiusBR", tr);
  switch (static_cast<int>(data.value(c, "XSecCurve", "RoundedRect_RadiusSymmetryType", 3.0))) {
    case 1: tl = tr, bl = br; break;   // left mirrors right
    case 2: br = tr, bl = tl; break;   // bottom mirrors top
    case 3: tl = bl = br = tr; break;  // all corners alike
    default: break;
  }
  return {tr, tl, bl, br};
}

}  // namespace

BodyCurve make_body_curve(const ModelData& data, const XSecCurve& curve, const std::string& where) {
  const int c = curve.container;
  auto v = [&](const char* name, double fallback) { return data.value(c, "XSecCurve", name, fallback); };
  BodyCurve base = point_curve();
  double width = 0.0, height = 0.0;
  switch (curve.type) {
    case kPointCurve: break;
    case kCircleCurve: width = height = v("Circle_Diameter", 1.0), base = ellipse_curve(width, height); break;
    case kEllipseCurve:
      width = v("Ellipse_Width", 1.0), height = v("Ellipse_Height", 1.0);
      base = ellipse_curve(width, height);
      break;
    case kSuperEllipseCurve: {
      width = v("Super_Width", 1.0), height = v("Super_Height", 1.0);
      const double m = v("Super_M", 2.0), n = v("Super_N", 2.0);
      const bool sym = v("Super_TopBotSym", 1.0) != 0.0;
      base = super_ellipse_curve(width, height, m, n, sym ? m : v("Super_M_bot", 2.0),
                                 sym ? n : v("Super_N_bot", 2.0), v("Super_MaxWidthLoc", 0.0));
      break;
    }
    case kRoundedRectCurve:
      width = v("RoundedRect_Width", 1.0), height = v("RoundedRect_Height", 1.0);
      base = rounded_rect_curve(width, height, corner_radii(data, c));
      break;
    case kGeneralFuseCurve:
      width = v("Width", 1.0), height = v("Height", 1.0);
      base = general_fuse_curve(width, height, v("MaxWidthLoc", 0.0), v("TopTanAngle", 0.0),
                                v("BotTanAngle", 0.0), v("TopStr", 1.0), v("BotStr", 1.0), v("UpStr", 1.0),
                                v("LowStr", 1.0));
      break;
    case kEditCurve:
      base = make_edit_curve(data, curve, where);
      width = base.width(), height = base.height();
      break;
    case kFuseFileCurve:
      base = make_file_curve(data, curve, where);
      width = base.width(), height = base.height();
      break;
    default:
      throw GeometryBuildError(where + " uses " + curve_phrase(curve.type) +
                               ", which the geometry engine cannot draw as a body section");
  }
  // Both shifts are fractions of the width.
  BodyCurve out =
      placed(base, v("Theta", 0.0), v("Scale", 1.0), v("DeltaX", 0.0) * width, v("DeltaY", 0.0) * width);
  out.set_size(width, height);
  return out;
}

}  // namespace orvanta::vsp
