#include "vsp/wing_layout.hpp"

#include "vsp/wing_planform.hpp"

#include <cmath>
#include <numbers>

namespace orvanta::vsp {
namespace {

constexpr double kDeg = std::numbers::pi / 180.0;

double parm(const ModelData& d, int c, const char* group, const char* name, double fallback) {
  return d.value(c, group, name, fallback);
}

}  // namespace

std::vector<WingStation> wing_stations(const ModelData& data, const Geom& geom) {
  const int n = static_cast<int>(geom.xsecs.size());
  const int wc = geom.container;
  const bool relative_twist = parm(data, wc, "WingGeom", "RelativeTwistFlag", 0.0) != 0.0;
  const bool roll_all = parm(data, wc, "WingGeom", "RotateAirfoilMatchDideralFlag", 0.0) != 0.0;
  const bool correct_thickness = parm(data, wc, "WingGeom", "CorrectAirfoilthicknessFlag", 0.0) != 0.0;
  const bool twist_all_xz = parm(data, wc, "WingGeom", "TwistAllInXZPlaneFlag", 0.0) != 0.0;
  const auto gamma = section_dihedrals(data, geom);

  std::vector<WingStation> st(static_cast<size_t>(n));
  double twist_sum = 0.0;
  for (int i = 0; i < n; ++i) {
    const int c = geom.xsecs[i].container;
    const Panel panel = read_panel(data, geom.xsecs[i]);
    WingStation& s = st[i];
    s.chord = panel.v[kTipChord];
    s.dihedral = gamma[i];
    if (i > 0) {
      s.span = panel.v[kSpan];
      const double g = gamma[i] * kDeg;
      s.leading_edge = st[i - 1].leading_edge +
                       Vec3{s.span * panel.tan_sweep_at(0.0), s.span * std::cos(g), s.span * std::sin(g)};
    }
    const double twist = parm(data, c, "XSec", "Twist", 0.0);
    twist_sum += twist;
    s.twist = relative_twist ? twist_sum : twist;
    s.twist_location = parm(data, c, "XSec", "Twist_Location", 0.25);
    const bool xz = twist_all_xz || parm(data, c, "XSec", "TwistInXZPlaneFlag", 0.0) != 0.0;
    s.twist_axis = xz ? Vec3{0.0, 1.0, 0.0} : Vec3{0.0, std::cos(gamma[i] * kDeg), std::sin(gamma[i] * kDeg)};

    const bool roll = (roll_all && i > 0) || parm(data, c, "XSec", "RotateMatchDideralFlag", 0.0) != 0.0;
    const double next = i + 1 < n ? gamma[i + 1] : gamma[i];
    if (roll) s.roll = i == 0 ? next : (i + 1 < n ? 0.5 * (gamma[i] + next) : gamma[i]);
    if (correct_thickness) {
      if (roll && i > 0) s.thickness_scale = 1.0 / std::cos((s.roll - gamma[i]) * kDeg);
      if (!roll && i == 0 && n > 1) s.thickness_scale = 1.0 / std::cos(gamma[1] * kDeg);
    }
  }
  return st;
}

Matrix4 station_frame(const WingStation& s) {
  Matrix4 scale;
  scale(0, 0) = s.chord;
  scale(2, 2) = s.chord * s.thickness_scale;
  const Vec3 pivot{s.twist_location * s.chord, 0.0, 0.0};
  return Matrix4::translation(s.leading_edge) * Matrix4::rotation_about(pivot, s.twist_axis, s.twist) *
         Matrix4::rotation_x(s.roll) * scale;
}

}  // namespace orvanta::vsp
