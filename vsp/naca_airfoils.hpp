#pragma once
// Analytic airfoil families beyond the NACA 4-series, at unit chord: the 4-digit modified
// thickness (any maximum-thickness position and leading-edge radius), the 5-digit mean line,
// the 16-series, the biconvex, the wedge and the Karman-Trefftz conformal map.

#include "vsp/airfoil.hpp"

#include <functional>
#include <memory>

namespace orvanta::vsp {

// A thickness form as a curve from the leading edge (s = 0) to the trailing edge (s = 1):
// chord position and half thickness.
using ThicknessForm = std::function<Vec2(double s)>;
// A mean line: height and slope at chord position x.
struct MeanLinePoint {
  double y = 0.0, slope = 0.0;
};
using MeanLine = std::function<MeanLinePoint(double x)>;

// Thickness laid off perpendicular to the mean line, as every NACA family does.
std::shared_ptr<const AirfoilShape> cambered_shape(ThicknessForm thickness, MeanLine mean_line);

// Half thickness of the 4-digit modified form: a0 sqrt(x) + a1 x + a2 x^2 + a3 x^3 ahead of the
// maximum thickness at `thickness_location`, d0 + d1 (1 - x) + d2 (1 - x)^2 + d3 (1 - x)^3 behind
// it; `le_index` sets the leading-edge radius (6 is the 4-digit radius, 0 a sharp nose).
struct FourDigitModThickness {
  double a[4] = {}, d[4] = {};
  double location = 0.3, scale = 0.6;  // scale = thickness / 0.2

  FourDigitModThickness(double thickness, double thickness_location, double le_index,
                        bool sharp_trailing_edge);
  double operator()(double x) const;
};

// The NACA 5-digit mean line with maximum camber at `camber_location` (0.05 .. 0.42), scaled
// to the design lift coefficient `ideal_cl`.
MeanLine five_digit_mean_line(double ideal_cl, double camber_location);
// The mean line's defining parameters for a maximum camber at `camber_location`: the
// junction m of its cubic and straight parts and the factor k1 that gives a design lift
// coefficient of 0.3 (the values NACA tabulated).
struct FiveDigitMeanLine {
  double m = 0.0, k1 = 0.0;
};
FiveDigitMeanLine five_digit_parameters(double camber_location);
// Design lift coefficient of a mean line by thin-airfoil theory.
double ideal_lift_coefficient(const MeanLine& mean_line);

std::shared_ptr<const AirfoilShape> four_digit_mod_shape(double camber, double camber_location,
                                                         double thickness, double thickness_location,
                                                         double le_index, bool sharp_trailing_edge);
std::shared_ptr<const AirfoilShape> five_digit_shape(double ideal_cl, double camber_location,
                                                     double thickness, bool sharp_trailing_edge);
std::shared_ptr<const AirfoilShape> five_digit_mod_shape(double ideal_cl, double camber_location,
                                                         double thickness, double thickness_location,
                                                         double le_index, bool sharp_trailing_edge);
// 16-series: the 4-digit modified thickness with its maximum at half chord and leading-edge
// index 4, on the uniform-load (a = 1) mean line.
std::shared_ptr<const AirfoilShape> sixteen_series_shape(double ideal_cl, double thickness,
                                                         bool sharp_trailing_edge);
// Two circular arcs, half thickness 2 t x (1 - x).
std::shared_ptr<const AirfoilShape> biconvex_shape(double thickness);

struct WedgeParameters {
  double thickness = 0.1;
  double upper_location = 0.5, lower_location = 0.5;  // chord position of the ridge
  double upper_flat = 0.0, lower_flat = 0.0;          // chord extent of the flat top / bottom
  double camber = 0.0;                                // height of the ridge line
};
std::shared_ptr<const AirfoilShape> wedge_shape(const WedgeParameters& p);

// The Karman-Trefftz map of a circle: epsilon and kappa shift the circle (thickness, camber),
// tau is the trailing-edge angle in degrees. Scaled so that the leading edge (the point
// farthest from the trailing edge) sits at x = 0 and the trailing edge at x = 1.
std::shared_ptr<const AirfoilShape> karman_trefftz_shape(double epsilon, double kappa, double tau_deg);

}  // namespace orvanta::vsp
