// Airfoil families against NACA's published equations and tables (Abbott and von Doenhoff,
// "Theory of Wing Sections", and NACA's reports on the 4-digit modified, 5-digit and 16-series
// sections), and against properties their construction guarantees.

#include "vsp/geometry_error.hpp"
#include "vsp/naca_airfoils.hpp"
#include "vsp/naca_six_series.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace orvanta::vsp {
namespace {

// The 16-series thickness is the 4-digit modified form with its maximum at half chord and
// leading-edge index 4; NACA gives it as y/t = 0.989665 sqrt(x) - 0.23925 x - 0.041 x^2 -
// 0.5594 x^3 ahead of x = 0.5 and 0.01 + 2.325 (1-x) - 3.42 (1-x)^2 + 1.46 (1-x)^3 behind.
TEST(CurveFamilies, FourDigitModifiedThicknessReproducesTheSixteenSeriesPolynomials) {
  const double t = 0.09;
  const FourDigitModThickness form(t, 0.5, 4.0, false);
  for (double x : {0.01, 0.05, 0.1, 0.2, 0.3, 0.45, 0.5, 0.55, 0.7, 0.85, 0.95, 1.0}) {
    const double q = 1.0 - x;
    const double published = x <= 0.5
                                 ? 0.989665 * std::sqrt(x) - 0.23925 * x - 0.041 * x * x - 0.5594 * x * x * x
                                 : 0.01 + 2.325 * q - 3.42 * q * q + 1.46 * q * q * q;
    EXPECT_NEAR(form(x) / t, published, 1.5e-3) << "x = " << x;
  }
}

// NACA's trailing-edge slope d1 by position of the maximum, the 4-digit leading-edge radius
// at index 6, and a maximum of half the thickness with zero slope.
TEST(CurveFamilies, FourDigitModifiedFormMeetsItsDefiningConditions) {
  const std::pair<double, double> d1_table[] = {
      {0.2, 0.200}, {0.3, 0.234}, {0.4, 0.315}, {0.5, 0.465}, {0.6, 0.700}};
  for (const auto& [m, d1] : d1_table) {
    const FourDigitModThickness form(0.2, m, 6.0, true);
    EXPECT_NEAR(form.d[1], d1, 3e-3) << "m = " << m;
    EXPECT_NEAR(form.a[0], 0.29690, 1e-4);
    EXPECT_NEAR(form(m), 0.1, 1e-12);
    EXPECT_LT(form(m - 1e-3), form(m));
    EXPECT_LT(form(m + 1e-3), form(m));
    EXPECT_NEAR(form(1.0), 0.0, 1e-12);  // sharp trailing edge
    // Curvature matches across the maximum: second differences agree on both sides.
    const double h = 1e-4;
    const double fwd = form(m - 2 * h) - 2 * form(m - h) + form(m);
    const double aft = form(m) - 2 * form(m + h) + form(m + 2 * h);
    EXPECT_NEAR(fwd / (h * h), aft / (h * h), 0.05 * std::abs(aft / (h * h)) + 1e-3);
  }
  // Index 0 gives a sharp nose, index 9 three times the 4-digit radius.
  EXPECT_NEAR(FourDigitModThickness(0.2, 0.4, 0.0, true).a[0], 0.0, 1e-12);
  EXPECT_NEAR(std::pow(FourDigitModThickness(0.2, 0.4, 9.0, true).a[0], 2) / 2.0, 3.0 * 1.1019 * 0.04, 1e-9);
}

// Abbott and von Doenhoff, table of the 5-digit mean-line parameters (design cl 0.3). The
// engine's k1 comes from thin-airfoil theory; the table's first row (k1 361.4 for p = 0.05)
// lies 3 % off that theory while the others agree within 0.4 %, so its k1 is checked only
// through the table's own m and k1 below.
TEST(CurveFamilies, FiveDigitMeanLineParametersMatchTheTable) {
  const struct {
    double p, m, k1;
  } table[] = {{0.05, 0.0580, 361.4},
               {0.10, 0.1260, 51.64},
               {0.15, 0.2025, 15.957},
               {0.20, 0.2900, 6.643},
               {0.25, 0.3910, 3.230}};
  for (const auto& row : table) {
    const FiveDigitMeanLine got = five_digit_parameters(row.p);
    EXPECT_NEAR(got.m, row.m, 6e-4) << "p = " << row.p;
    if (row.p > 0.06) EXPECT_NEAR(got.k1 / row.k1, 1.0, 4e-3) << "p = " << row.p;
    // The table's own pair carries the design cl by thin-airfoil theory.
    const double m = row.m, k = row.k1;
    const MeanLine tabulated = [m, k](double x) -> MeanLinePoint {
      if (x < m) return {0.0, k / 6.0 * (3.0 * x * x - 6.0 * m * x + m * m * (3.0 - m))};
      return {0.0, -k * m * m * m / 6.0};
    };
    EXPECT_NEAR(ideal_lift_coefficient(tabulated), 0.3, row.p > 0.06 ? 2e-3 : 1.2e-2) << "p = " << row.p;
    // The maximum of the mean line sits at p.
    const MeanLine line = five_digit_mean_line(0.3, row.p);
    EXPECT_NEAR(line(row.p).slope, 0.0, 1e-9);
  }
}

// Thin-airfoil theory gives back the design lift coefficient of every mean line.
TEST(CurveFamilies, MeanLinesCarryTheirDesignLiftCoefficient) {
  for (double a : {0.0, 0.5, 0.8, 1.0})
    EXPECT_NEAR(ideal_lift_coefficient(six_series_mean_line(0.4, a)), 0.4, 2e-3) << "a = " << a;
  EXPECT_NEAR(ideal_lift_coefficient(five_digit_mean_line(0.45, 0.2)), 0.45, 1e-6);
  // The a = 1 line: -cl/(4 pi) ((1-x) ln(1-x) + x ln x); 5.516 % of the chord at mid chord for cl 1.
  EXPECT_NEAR(six_series_mean_line(1.0, 1.0)(0.5).y, 0.05516, 1e-5);
  // Every line starts and ends on the chord.
  EXPECT_NEAR(six_series_mean_line(0.5, 0.5)(1.0).y, 0.0, 1e-12);
  EXPECT_NEAR(six_series_mean_line(0.5, 0.5)(0.0).y, 0.0, 1e-12);
}

double max_thickness(const AirfoilShape& s, double* where = nullptr) {
  const Airfoil af(std::shared_ptr<const AirfoilShape>(&s, [](const AirfoilShape*) {}));
  double best = 0.0;
  for (int k = 0; k <= 2000; ++k) {
    const Vec2 u = s.upper(k / 2000.0), l = s.lower(k / 2000.0);
    if (u.y - l.y > best) {
      best = u.y - l.y;
      if (where) *where = u.x;
    }
  }
  EXPECT_NEAR(af.max_thickness(), best, 2e-4);
  return best;
}

// The basic thickness forms scaled to the thickness asked for; the maximum moves aft with the
// family number (about 0.35, 0.40, 0.42 and 0.45 of the chord for the 63- to 66-series).
TEST(CurveFamilies, SixSeriesThicknessFormsHaveTheirThicknessAndMaximumPosition) {
  const std::pair<int, double> families[] = {{63, 0.35}, {64, 0.40}, {65, 0.42}, {66, 0.45}};
  for (const auto& [family, location] : families) {
    for (double t : {0.06, 0.12, 0.21}) {
      auto shape = six_series_shape(family, t, 0.0, 1.0);
      double at = 0.0;
      EXPECT_NEAR(max_thickness(*shape, &at), t, 2e-4) << family << " t " << t;
      EXPECT_NEAR(at, location, 0.04) << family << " t " << t;
      EXPECT_NEAR(shape->upper(0.0).x, 0.0, 1e-9);
      EXPECT_NEAR(shape->upper(1.0).x, 1.0, 1e-9);
      EXPECT_NEAR(shape->upper(1.0).y, 0.0, 1e-4);
    }
  }
  EXPECT_THROW(six_series_thickness(67, 0.1), GeometryBuildError);
}

// 63-012: Abbott and von Doenhoff give y = 0.985, 2.102, 4.039, 5.342, 5.930 (%c) at
// x = 0.5, 2.5, 10, 20, 30 %c, and the maximum 6.000 at 35 %c.
TEST(CurveFamilies, SixSeriesOrdinatesFollowThePublishedTable) {
  const auto form = six_series_thickness(63, 0.12);
  auto y_at = [&](double x) {
    double lo = 0.0, hi = 1.0;
    for (int i = 0; i < 80; ++i) (form(0.5 * (lo + hi)).x < x ? lo : hi) = 0.5 * (lo + hi);
    return form(0.5 * (lo + hi)).y;
  };
  const std::pair<double, double> table[] = {{0.005, 0.00985}, {0.025, 0.02102}, {0.10, 0.04039},
                                             {0.20, 0.05342},  {0.30, 0.05930},  {0.35, 0.06000}};
  for (const auto& [x, y] : table) EXPECT_NEAR(y_at(x), y, 2.5e-4) << "x = " << x;
}

TEST(CurveFamilies, SimpleSectionsHaveTheirShape) {
  auto bi = biconvex_shape(0.08);
  EXPECT_NEAR(bi->upper(0.5).y, 0.04, 1e-12);
  EXPECT_NEAR(bi->lower(0.25).y, -2.0 * 0.08 * 0.25 * 0.75, 1e-12);

  WedgeParameters p;
  p.thickness = 0.1, p.upper_location = 0.3, p.lower_location = 0.6, p.upper_flat = 0.2, p.camber = 0.01;
  auto wedge = wedge_shape(p);
  bool ridge = false, flat_end = false;
  for (int k = 0; k <= 1000; ++k) {
    const Vec2 u = wedge->upper(k / 1000.0);
    EXPECT_LE(u.y, 0.06 + 1e-12);
    ridge |= std::abs(u.x - 0.3) < 2e-3 && std::abs(u.y - 0.06) < 1e-3;
    flat_end |= std::abs(u.x - 0.5) < 2e-3 && std::abs(u.y - 0.06) < 1e-3;
  }
  EXPECT_TRUE(ridge && flat_end);
  EXPECT_NEAR(wedge->lower(1.0).x, 1.0, 1e-12);
}

// The Karman-Trefftz map closes the section at the trailing edge with the angle tau between
// its sides; without kappa the section is symmetric.
TEST(CurveFamilies, KarmanTrefftzSectionHasItsTrailingEdgeAngle) {
  for (double tau : {5.0, 10.0, 20.0}) {
    auto kt = karman_trefftz_shape(0.1, 0.0, tau);
    const double s = 1.0 - 1e-4;
    const Vec2 u1 = kt->upper(1.0), u0 = kt->upper(s), l0 = kt->lower(s);
    const double au = std::atan2(u0.y - u1.y, u1.x - u0.x), al = std::atan2(l0.y - u1.y, u1.x - l0.x);
    EXPECT_NEAR((au - al) * 180.0 / std::numbers::pi, tau, 0.3) << "tau " << tau;
    EXPECT_NEAR(kt->upper(0.4).y, -kt->lower(0.4).y, 1e-9);
    EXPECT_NEAR(kt->upper(0.0).x, 0.0, 1e-9);
    EXPECT_NEAR(u1.x, 1.0, 1e-9);
  }
  auto cambered = karman_trefftz_shape(0.1, 0.1, 10.0);
  EXPECT_GT(cambered->upper(0.5).y + cambered->lower(0.5).y, 0.0);
}

// Rotation about the leading edge, scale, and shifts as fractions of the chord.
TEST(CurveFamilies, PlacementTurnsScalesAndShiftsTheSection) {
  auto shape = biconvex_shape(0.1);
  const Airfoil plain(shape), placed(shape, false, {90.0, 0.5, 0.25, -0.1});
  for (double w : {0.3, 1.0, 2.0, 3.1, 4.0}) {
    const Vec2 p = plain.point(w), q = placed.point(w);
    EXPECT_NEAR(q.x, -0.5 * p.y + 0.25, 1e-9);
    EXPECT_NEAR(q.y, 0.5 * p.x - 0.1, 1e-9);
  }
  const Airfoil shifted(shape, false, {0.0, 0.5, 0.3, 0.2});
  EXPECT_NEAR(shifted.max_thickness(), 0.5 * plain.max_thickness(), 1e-3 * plain.max_thickness());
  EXPECT_NEAR(shifted.point(2.0).x, 0.3, 1e-12);
  EXPECT_NEAR(shifted.point(2.0).y, 0.2, 1e-12);
}

}  // namespace
}  // namespace orvanta::vsp
