#include "vsp/wing_caps.hpp"

#include "vsp/fuselage_skin.hpp"
#include "vsp/geometry_error.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orvanta::vsp {

CapSettings cap_settings(const ModelData& data, const Geom& geom, bool at_max, const std::string& where) {
  const std::string p = at_max ? "CapUMax" : "CapUMin";
  auto v = [&](const std::string& name, double fallback) {
    return data.value(geom.container, "EndCap", p + name, fallback);
  };
  CapSettings s;
  const int kind = static_cast<int>(v("Option", 1.0));
  if (kind < 0 || kind > 4)
    throw GeometryBuildError(
        where + " has an end cap of kind " + std::to_string(kind) + " (" + p +
        "Option), which the geometry engine does not draw (it draws none, flat, round, edge and "
        "sharp caps)");
  // An open end would leave a hole in the exported surface: it is closed flat.
  s.kind = kind == 0 ? CapKind::kFlat : static_cast<CapKind>(kind);
  s.length = v("Length", 1.0);
  s.offset = v("Offset", 0.0);
  s.strength = v("Strength", 0.5);
  s.sweep_stretch = v("SweepFlag", 0.0) != 0.0;
  s.rows = std::max(2, static_cast<int>(data.value(geom.container, "EndCap", "CapUMinTess", 3.0)));
  return s;
}

Vec3 CapCurve::at(bool upper_half, double f) const {
  return bezier_point(upper_half ? upper : lower, std::clamp(f, 0.0, 1.0));
}

CapCurve cap_curve(const CapSettings& s, Vec3 up, Vec3 down, Vec3 up_dir, Vec3 down_dir, Vec3 forward) {
  CapCurve c;
  const Vec3 mid = 0.5 * (up + down);
  const double span = norm(up - down);
  const Vec3 across = span > 1e-14 ? (1.0 / span) * (up - down) : Vec3{};
  double stretch = 1.0;
  if (s.sweep_stretch) {
    const Vec3 mean = normalized(up_dir + down_dir);
    const double sine = std::sin(std::acos(std::clamp(dot(mean, forward), -1.0, 1.0)));
    if (sine > 1e-12) stretch = 1.0 / sine;
  }
  const double len = s.length * stretch;
  switch (s.kind) {
    case CapKind::kNone:
    case CapKind::kFlat: c.upper = {up, mid}, c.lower = {down, mid}; return c;
    case CapKind::kEdge:
    case CapKind::kSharp: {
      const Vec3 tu = up + 0.5 * span * len * up_dir, td = down + 0.5 * span * len * down_dir;
      const Vec3 seam = 0.5 * (tu + td) + s.offset * (tu - td);
      if (s.kind == CapKind::kEdge) {
        c.upper = {up, seam}, c.lower = {down, seam};
        return c;
      }
      c.upper = {up, up + 0.5 * span * len * s.strength * up_dir, seam};
      c.lower = {down, down + 0.5 * span * len * s.strength * down_dir, seam};
      return c;
    }
    case CapKind::kRound: break;
  }
  // The arc turns through pi plus the difference of the angles the directions make with
  // the line across; a cubic with handles 4/3 tan(a / 4) of the radius follows an arc of a.
  const double turn = std::numbers::pi + std::acos(std::clamp(dot(across, down_dir), -1.0, 1.0)) -
                      std::acos(std::clamp(dot(across, up_dir), -1.0, 1.0));
  if (std::abs(turn) < 1e-12 || span < 1e-14) {
    c.upper = {up, mid}, c.lower = {down, mid};
    return c;
  }
  const double radius = span / (2.0 * std::sin(0.5 * turn));
  const double reach = radius * std::tan(0.25 * turn);
  const Vec3 tu = up + reach * len * up_dir, td = down + reach * len * down_dir;
  const Vec3 seam = 0.5 * (tu + td) + s.offset * (tu - td);
  const double handle = 4.0 / 3.0 * std::tan(0.125 * turn) * radius;
  c.upper = {up, up + handle * len * up_dir, seam + handle * across, seam};
  c.lower = {down, down + handle * len * down_dir, seam - handle * across, seam};
  return c;
}

}  // namespace orvanta::vsp
