#pragma once
// NACA 6-series airfoils (63- to 66-series) at unit chord: the basic thickness forms from
// NACA's conformal-mapping functions, stretched to the thickness asked for, on the 6-series
// mean line of chordwise loading a.

#include "vsp/airfoil.hpp"
#include "vsp/naca_airfoils.hpp"

#include <cstddef>
#include <memory>

namespace orvanta::vsp {

namespace internal {
// Pairs (phi, eps) and (phi, psi) of one family; empty for a family without tables.
struct SixSeriesTable {
  const double* eps = nullptr;
  size_t eps_count = 0;
  const double* psi = nullptr;
  size_t psi_count = 0;
};
SixSeriesTable six_series_table(int family);
}  // namespace internal

// The thickness form of `family` (63 .. 66) with thickness ratio `thickness`: chord position
// and half thickness along the mapped circle (s = 0 leading edge, s = 1 trailing edge).
// GeometryBuildError for a family without tables.
ThicknessForm six_series_thickness(int family, double thickness);

// The 6-series mean line: uniform load from the leading edge to x = a, falling linearly to
// zero at the trailing edge; a = 1 is the uniformly loaded line.
MeanLine six_series_mean_line(double ideal_cl, double a);

std::shared_ptr<const AirfoilShape> six_series_shape(int family, double thickness, double ideal_cl, double a);

}  // namespace orvanta::vsp
