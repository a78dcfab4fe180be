#include "vsp/wing_measure.hpp"

#include "vsp/airfoil.hpp"
#include "vsp/wing_layout.hpp"
#include "vsp/wing_surface.hpp"

#include <cmath>
#include <stdexcept>

namespace orvanta::vsp {
namespace {

// Airfoil points sit at w in [0, 2] on the lower side (trailing edge to nose) and [2, 4] on
// the upper side (nose to trailing edge); x runs monotonically along each side.
double side_y_at(const Airfoil& a, bool upper, double x) {
  double lo = upper ? 2.0 : 0.0, hi = upper ? 4.0 : 2.0;
  // x grows with w on the upper side and shrinks with it on the lower side.
  for (int i = 0; i < 80; ++i) {
    const double mid = 0.5 * (lo + hi);
    const bool before = a.point(mid).x < x;
    if (before == upper)
      lo = mid;
    else
      hi = mid;
  }
  return a.point(0.5 * (lo + hi)).y;
}

// Circumradius of the nose point and its neighbours a small arc away on either side.
double nose_radius(const Airfoil& a) {
  constexpr double kArc = 1e-3;  // in w: about a thousandth of the chord along each side
  const Vec2 p = a.point(2.0 - kArc), q = a.point(2.0), r = a.point(2.0 + kArc);
  const double ab = std::hypot(q.x - p.x, q.y - p.y), bc = std::hypot(r.x - q.x, r.y - q.y);
  const double ca = std::hypot(p.x - r.x, p.y - r.y);
  const double twice_area = std::abs((q.x - p.x) * (r.y - p.y) - (r.x - p.x) * (q.y - p.y));
  if (!(twice_area > 0.0)) return 0.0;  // a sharp nose: the three points are in line
  return ab * bc * ca / (2.0 * twice_area);
}

}  // namespace

const std::vector<double>& default_thickness_stations() {
  static const std::vector<double> s = {0.05, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9};
  return s;
}

WingMeasure measure_wing(const ModelData& data, const Geom& wing, const std::vector<double>& stations) {
  for (double x : stations)
    if (!(x > 0.0 && x < 1.0))
      throw std::invalid_argument("thickness stations are chord fractions strictly between 0 and 1");
  WingMeasure m;
  m.name = data.geom_name(wing);
  m.stations = stations;
  const WingSurface surface(data, wing);  // throws for wings that cannot be drawn
  const auto placed = wing_stations(data, wing);
  for (size_t i = 0; i < wing.xsecs.size(); ++i) {
    const std::string where = "wing `" + m.name + "` cross-section " + std::to_string(i);
    const Airfoil airfoil = make_airfoil(data, wing.xsecs[i].curve, where);
    const double chord = placed[i].chord, depth = placed[i].chord * placed[i].thickness_scale;
    WingSectionMeasure s;
    s.chord = chord;
    s.max_thickness = depth * airfoil.max_thickness();
    // Scaling y by s scales a nose radius y^2 / 2x by s^2 / (x scale).
    s.le_radius = depth * depth / chord * nose_radius(airfoil);
    for (double x : stations)
      s.thickness.push_back(depth * std::abs(side_y_at(airfoil, true, x) - side_y_at(airfoil, false, x)));
    m.sections.push_back(std::move(s));
  }
  // Denser than the export: the polygon sections of a coarse tessellation lose about a
  // percent of area, and the constraint compares volumes of differently shaped wings.
  WingTessellation dense = surface.default_density();
  dense.chord_points = 257;
  for (int& n : dense.span_points) n = 41;
  m.volume = surface.tessellate(dense).mesh.signed_volume();
  return m;
}

}  // namespace orvanta::vsp
