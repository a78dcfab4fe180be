#include "vsp/wing_planform.hpp"
#include "vsp/internal/number_text.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <set>

namespace orvanta::vsp {
namespace {

constexpr double kDeg = std::numbers::pi / 180.0;
const char* const kNames[kPlanformVars] = {"Aspect", "Span",      "Area",     "Taper",
                                           "Avg_Chord", "Root_Chord", "Tip_Chord", "Sec_Sweep"};

bool has(const std::vector<int>& d, int v) { return std::find(d.begin(), d.end(), v) != d.end(); }

std::string driver_list(const std::vector<int>& drivers) {
  std::string s;
  for (int d : drivers) s += (s.empty() ? "" : ", ") + std::string(d >= 0 && d < kPlanformVars ? kNames[d] : "?");
  return s;
}

// Span and average chord when the drivers fix them without the chords.
bool closed_form(Panel& p) {
  const auto& d = p.drivers;
  auto& v = p.v;
  double b = 0.0, cbar = 0.0;
  bool have_b = has(d, kSpan), have_c = has(d, kAvgChord);
  if (have_b) b = v[kSpan];
  if (have_c) cbar = v[kAvgChord];
  if (!have_b && have_c && has(d, kArea)) b = v[kArea] / cbar, have_b = true;
  if (!have_b && have_c && has(d, kAspect)) b = v[kAspect] * cbar, have_b = true;
  if (!have_b && has(d, kArea) && has(d, kAspect)) b = std::sqrt(v[kAspect] * v[kArea]), have_b = true;
  if (!have_c && have_b && has(d, kArea)) cbar = v[kArea] / b, have_c = true;
  if (!have_c && have_b && has(d, kAspect)) cbar = b / v[kAspect], have_c = true;
  if (!have_c && has(d, kArea) && has(d, kAspect)) cbar = std::sqrt(v[kArea] / v[kAspect]), have_c = true;
  if (!have_b || has(d, kSecSweep)) return false;

  double cr = 0.0, ct = 0.0;
  if (has(d, kRootChord) && has(d, kTipChord)) cr = v[kRootChord], ct = v[kTipChord];
  else if (has(d, kRootChord) && has(d, kTaper)) cr = v[kRootChord], ct = v[kTaper] * cr;
  else if (has(d, kTipChord) && has(d, kTaper) && v[kTaper] > 0.0) ct = v[kTipChord], cr = ct / v[kTaper];
  else if (have_c && has(d, kRootChord)) cr = v[kRootChord], ct = 2.0 * cbar - cr;
  else if (have_c && has(d, kTipChord)) ct = v[kTipChord], cr = 2.0 * cbar - ct;
  else if (have_c && has(d, kTaper)) cr = 2.0 * cbar / (1.0 + v[kTaper]), ct = v[kTaper] * cr;
  else return false;
  v[kSpan] = b, v[kRootChord] = cr, v[kTipChord] = ct;
  return true;
}

// Residual of driver `k` and its gradient with respect to (span, root chord, tip chord).
void driver_equation(const Panel& p, int k, const double x[3], double& f, double g[3]) {
  const double b = x[0], cr = x[1], ct = x[2], t = p.v[k];
  const double dl = p.sweep_location - p.sec_sweep_location;
  switch (k) {
    case kAspect: f = 2.0 * b - t * (cr + ct), g[0] = 2.0, g[1] = -t, g[2] = -t; break;
    case kSpan: f = b - t, g[0] = 1.0, g[1] = 0.0, g[2] = 0.0; break;
    case kArea: f = 0.5 * b * (cr + ct) - t, g[0] = 0.5 * (cr + ct), g[1] = 0.5 * b, g[2] = 0.5 * b; break;
    case kTaper: f = ct - t * cr, g[0] = 0.0, g[1] = -t, g[2] = 1.0; break;
    case kAvgChord: f = 0.5 * (cr + ct) - t, g[0] = 0.0, g[1] = 0.5, g[2] = 0.5; break;
    case kRootChord: f = cr - t, g[0] = 0.0, g[1] = 1.0, g[2] = 0.0; break;
    case kTipChord: f = ct - t, g[0] = 0.0, g[1] = 0.0, g[2] = 1.0; break;
    default: {
      const double dtan = std::tan(t * kDeg) - std::tan(p.sweep * kDeg);
      f = b * dtan - dl * (cr - ct), g[0] = dtan, g[1] = -dl, g[2] = dl;
    }
  }
}

// Newton's method on the three driver equations, from the panel's current span and chords.
bool newton(Panel& p) {
  double x[3] = {std::max(p.v[kSpan], 1e-6), std::max(p.v[kRootChord], 1e-6), std::max(p.v[kTipChord], 1e-6)};
  for (int iter = 0; iter < 60; ++iter) {
    double a[3][4];
    for (int r = 0; r < 3; ++r) driver_equation(p, p.drivers[r], x, a[r][3], a[r]);
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                       a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    if (!std::isfinite(det) || std::abs(det) < 1e-300) return false;
    double dx[3];
    for (int c = 0; c < 3; ++c) {
      double m[3][3];
      for (int r = 0; r < 3; ++r)
        for (int j = 0; j < 3; ++j) m[r][j] = j == c ? a[r][3] : a[r][j];
      dx[c] = (m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
               m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0])) /
              det;
    }
    double step = 0.0, size = 0.0;
    for (int c = 0; c < 3; ++c) x[c] -= dx[c], step = std::max(step, std::abs(dx[c])), size = std::max(size, std::abs(x[c]));
    if (!std::isfinite(size)) return false;
    if (step <= 1e-15 * std::max(size, 1e-300)) break;
  }
  p.v[kSpan] = x[0], p.v[kRootChord] = x[1], p.v[kTipChord] = x[2];
  return true;
}

void set_unless_driver(Panel& p, int k, double value) {
  if (!has(p.drivers, k)) p.v[k] = value;
}

}  // namespace

const char* planform_var_name(int var) { return var >= 0 && var < kPlanformVars ? kNames[var] : "?"; }

std::vector<int> default_drivers() { return {kSpan, kRootChord, kTipChord}; }

bool valid_drivers(const std::vector<int>& d) {
  if (d.size() != 3) return false;
  const std::set<int> s(d.begin(), d.end());
  if (s.size() != 3 || *s.begin() < 0 || *s.rbegin() >= kPlanformVars) return false;
  auto is = [&](std::initializer_list<int> vars) {
    return std::all_of(vars.begin(), vars.end(), [&](int v) { return s.count(v) > 0; });
  };
  if (is({kAspect, kSpan, kArea}) || is({kAspect, kSpan, kAvgChord}) || is({kAspect, kArea, kAvgChord}) ||
      is({kArea, kSpan, kAvgChord}))
    return false;
  if (is({kTaper, kRootChord, kTipChord}) || is({kAvgChord, kRootChord, kTipChord}) ||
      is({kAvgChord, kTaper, kTipChord}) || is({kAvgChord, kRootChord, kTaper}))
    return false;
  if (is({kSecSweep, kTaper}) || is({kSecSweep, kRootChord, kTipChord}) || is({kSecSweep, kAvgChord, kTipChord}) ||
      is({kSecSweep, kRootChord, kAvgChord}))
    return false;
  // Without a length among the drivers the panel has no size.
  return is({kSpan}) || is({kArea}) || is({kAvgChord}) || is({kRootChord}) || is({kTipChord});
}

double Panel::tan_sweep_at(double fraction) const {
  return std::tan(sweep * kDeg) - (fraction - sweep_location) * (v[kRootChord] - v[kTipChord]) / v[kSpan];
}

void derive_panel(Panel& p) {
  auto& v = p.v;
  const double b = v[kSpan], cr = v[kRootChord], ct = v[kTipChord];
  const double avg = 0.5 * (cr + ct);
  const double area = b * avg;
  set_unless_driver(p, kAvgChord, avg);
  set_unless_driver(p, kArea, area);
  set_unless_driver(p, kAspect, area > 0.0 ? b * b / area : 0.0);
  set_unless_driver(p, kTaper, cr > 0.0 ? ct / cr : 1.0);
  set_unless_driver(p, kSecSweep, std::atan(p.tan_sweep_at(p.sec_sweep_location)) / kDeg);
}

void solve_panel(Panel& p, const std::string& where) {
  if (!valid_drivers(p.drivers))
    throw PlanformError(where + " has drivers (" + driver_list(p.drivers) + ") that do not determine its planform");
  if (!closed_form(p) && !newton(p))
    throw PlanformError(where + ": its drivers (" + driver_list(p.drivers) + ") have no solution");
  if (!(p.v[kSpan] > 0.0) || !std::isfinite(p.v[kSpan]))
    throw PlanformError(where + " has a non-positive span (" + short_number(p.v[kSpan]) + ")");
  derive_panel(p);
}

Panel read_panel(const ModelData& data, const XSec& xsec) {
  Panel p;
  for (int k = 0; k < kPlanformVars; ++k) p.v[k] = data.value(xsec.container, "XSec", kNames[k], k == kSecSweep ? 0.0 : 1.0);
  p.sweep = data.value(xsec.container, "XSec", "Sweep", 0.0);
  p.sweep_location = data.value(xsec.container, "XSec", "Sweep_Location", 0.0);
  p.sec_sweep_location = data.value(xsec.container, "XSec", "Sec_Sweep_Location", 1.0);
  p.drivers = xsec.drivers.empty() ? default_drivers() : xsec.drivers;
  return p;
}

void write_panel(ModelData& data, const XSec& xsec, const Panel& p) {
  for (int k = 0; k < kPlanformVars; ++k) data.set(xsec.container, "XSec", kNames[k], p.v[k]);
}

int symmetry_multiplier(const ModelData& data, const Geom& geom) {
  const bool planar = data.value(geom.container, "Sym", "Sym_Planar_Flag", 0.0) != 0.0;
  const bool axial = data.value(geom.container, "Sym", "Sym_Axial_Flag", 0.0) != 0.0;
  return planar || axial ? 2 : 1;
}

std::vector<double> section_dihedrals(const ModelData& data, const Geom& geom) {
  const bool relative = data.value(geom.container, "WingGeom", "RelativeDihedralFlag", 0.0) != 0.0;
  std::vector<double> gamma(geom.xsecs.size(), 0.0);
  double sum = 0.0;
  for (size_t i = 1; i < geom.xsecs.size(); ++i) {
    const double d = data.value(geom.xsecs[i].container, "XSec", "Dihedral", 0.0);
    sum += d;
    gamma[i] = relative ? sum : d;
  }
  return gamma;
}

WingTotals wing_totals(const ModelData& data, const Geom& geom) {
  WingTotals t;
  const double k = symmetry_multiplier(data, geom);
  const auto gamma = section_dihedrals(data, geom);
  double sum_c2 = 0.0, sum_c = 0.0, sum_avg = 0.0;
  const size_t n = geom.xsecs.size();
  for (size_t i = 1; i < n; ++i) {
    const Panel p = read_panel(data, geom.xsecs[i]);
    const double b = p.v[kSpan], cr = p.v[kRootChord], ct = p.v[kTipChord];
    t.span += b;
    t.projected_span += b * std::cos(gamma[i] * kDeg);
    t.area += p.v[kArea];
    sum_avg += p.v[kAvgChord];
    sum_c2 += b * (cr * cr + cr * ct + ct * ct) / 3.0;
    sum_c += b * (cr + ct) / 2.0;
  }
  t.span *= k, t.projected_span *= k, t.area *= k;
  t.mean_chord = n > 1 ? sum_avg / static_cast<double>(n - 1) : 0.0;
  t.aspect_ratio = t.area > 0.0 ? t.projected_span * t.projected_span / t.area : 0.0;
  t.mac = sum_c > 0.0 ? sum_c2 / sum_c : 0.0;
  return t;
}

namespace {

// The root section's own root chord means nothing; only its tip chord (the wing's root chord) counts.
void check_chords(const Panel& p, bool root_section, const std::string& where) {
  for (int k : {kRootChord, kTipChord}) {
    if (root_section && k == kRootChord) continue;
    if (!(p.v[k] > 0.0) || !std::isfinite(p.v[k]))
      throw PlanformError(where + " has a non-positive " + (k == kRootChord ? "root" : "tip") + " chord (" +
                          short_number(p.v[k]) + ")");
  }
}

// A neighbour whose shared chord changed keeps its span and its other chord; everything else
// follows from those, whatever its own drivers are.
void follow_neighbour(Panel& p) {
  std::vector<int> own = std::move(p.drivers);
  p.drivers.clear();
  derive_panel(p);
  p.drivers = std::move(own);
}

}  // namespace

void update_wing_planform(ModelData& data, int gi, const std::vector<int>& edited) {
  Geom& geom = data.geoms[gi];
  const std::string wing = "wing `" + data.geom_name(geom) + "`";
  const int n = static_cast<int>(geom.xsecs.size());
  if (n < 2) throw PlanformError(wing + " has " + std::to_string(n) + " cross-section(s); it needs at least two");
  std::vector<Panel> panels;
  for (const XSec& x : geom.xsecs) panels.push_back(read_panel(data, x));
  auto where = [&](int i) { return wing + " cross-section " + std::to_string(i); };

  if (edited.empty()) {
    for (int i = 0; i < n; ++i) solve_panel(panels[i], where(i));
    for (int i = 1; i < n; ++i) {
      if (panels[i].v[kRootChord] == panels[i - 1].v[kTipChord]) continue;
      panels[i].v[kRootChord] = panels[i - 1].v[kTipChord];
      follow_neighbour(panels[i]);
    }
  }
  // Each edited section starts from the driver values it was given, even if an earlier edit's
  // neighbour had already changed them.
  const std::vector<Panel> as_set = panels;
  for (int a : edited) {
    for (int k : panels[a].drivers) panels[a].v[k] = as_set[a].v[k];
    solve_panel(panels[a], where(a));
    if (a >= 1) {
      panels[a - 1].v[kTipChord] = panels[a].v[kRootChord];
      follow_neighbour(panels[a - 1]);
    }
    if (a + 1 < n) {
      panels[a + 1].v[kRootChord] = panels[a].v[kTipChord];
      follow_neighbour(panels[a + 1]);
    }
  }
  for (int i = 0; i < n; ++i) {
    check_chords(panels[i], i == 0, where(i));
    write_panel(data, geom.xsecs[i], panels[i]);
  }

  const auto gamma = section_dihedrals(data, geom);
  for (int i = 0; i < n; ++i) {
    if (i >= 1)
      data.set(geom.xsecs[i].container, "XSec", "ProjectedSpan", panels[i].v[kSpan] * std::cos(gamma[i] * kDeg));
    data.set(geom.xsecs[i].curve.container, "XSecCurve", "Chord", panels[i].v[kTipChord]);
  }
  const WingTotals t = wing_totals(data, geom);
  data.set(geom.container, "WingGeom", "TotalSpan", t.span);
  data.set(geom.container, "WingGeom", "TotalProjectedSpan", t.projected_span);
  data.set(geom.container, "WingGeom", "TotalArea", t.area);
  data.set(geom.container, "WingGeom", "TotalChord", t.mean_chord);
  data.set(geom.container, "WingGeom", "TotalAR", t.aspect_ratio);
  data.set(geom.container, "WingGeom", "MAC", t.mac);
  data.set(geom.container, "WingGeom", "CurvedArea", t.area);
}

}  // namespace orvanta::vsp
