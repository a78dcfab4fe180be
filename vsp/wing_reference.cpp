#include "vsp/wing_reference.hpp"

#include "vsp/geometry.hpp"
#include "vsp/wing_layout.hpp"
#include "vsp/wing_planform.hpp"

#include <cmath>
#include <numbers>

namespace orvanta::vsp {

WingReference wing_reference(const ModelData& data, const Geom& wing) {
  WingReference r;
  const WingTotals totals = wing_totals(data, wing);
  r.area = totals.area;
  r.span = totals.span;
  r.projected_span = totals.projected_span;
  r.mac = totals.mac;
  r.mean_chord = totals.mean_chord;
  r.aspect_ratio = r.area > 0.0 ? r.span * r.span / r.area : 0.0;

  const auto st = wing_stations(data, wing);
  if (st.size() < 2) return r;
  r.root_chord = st.front().chord;
  r.tip_chord = st.back().chord;
  r.taper_ratio = r.root_chord > 0.0 ? r.tip_chord / r.root_chord : 0.0;

  // Chord-weighted leading edge: the integral of c * LE over the span, over the integral of c.
  double sum_c = 0.0, half_span = 0.0;
  Vec3 sum_cp;
  for (size_t i = 1; i < st.size(); ++i) {
    const double b = st[i].span, ca = st[i - 1].chord, dc = st[i].chord - ca;
    const Vec3 pa = st[i - 1].leading_edge, dp = st[i].leading_edge - pa;
    sum_c += b * (ca + 0.5 * dc);
    sum_cp = sum_cp + b * (ca * pa + 0.5 * (ca * dp + dc * pa) + (dc / 3.0) * dp);
    half_span += b;
  }
  if (sum_c > 0.0) r.mac_leading_edge = model_matrix(data, wing).apply((1.0 / sum_c) * sum_cp);
  if (half_span > 0.0) {
    const double dx = st.back().leading_edge.x - st.front().leading_edge.x;
    r.le_sweep_deg = std::atan(dx / half_span) * 180.0 / std::numbers::pi;
    const double dq = dx + 0.25 * (r.tip_chord - r.root_chord);
    r.quarter_chord_sweep_deg = std::atan(dq / half_span) * 180.0 / std::numbers::pi;
  }
  return r;
}

}  // namespace orvanta::vsp
