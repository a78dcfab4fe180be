#include "vsp/airfoil_parms.hpp"

#include "vsp/geometry_error.hpp"
#include "vsp/naca_airfoils.hpp"
#include "vsp/naca_six_series.hpp"

namespace orvanta::vsp {
namespace {

// Families of the 6-series Series parameter, in its order.
const char* const kSixSeriesNames[] = {"63", "64", "65", "66", "67", "63A", "64A", "65A"};

std::shared_ptr<const AirfoilShape> six_series(const ModelData& data, int c) {
  auto v = [&](const char* name, double fallback) { return data.value(c, "XSecCurve", name, fallback); };
  const int series = static_cast<int>(v("Series", 0.0));
  if (series < 0 || series > 3) {
    const std::string name = series >= 0 && series < 8 ? kSixSeriesNames[series] : std::to_string(series);
    throw GeometryBuildError("the NACA " + name + "-series (Series " + std::to_string(series) +
                             ") is not drawn by the geometry engine, which draws the 63- to 66-series");
  }
  return six_series_shape(63 + series, v("ThickChord", 0.1), v("IdealCl", 0.0), v("A", 1.0));
}

}  // namespace

std::shared_ptr<const AirfoilShape> analytic_airfoil_shape(const ModelData& data, const XSecCurve& curve) {
  const int c = curve.container;
  auto v = [&](const char* name, double fallback) { return data.value(c, "XSecCurve", name, fallback); };
  const bool sharp = v("SharpTEFlag", 1.0) != 0.0;
  switch (curve.type) {
    case kFourSeriesCurve:
      return four_series_shape(v("Camber", 0.0), v("CamberLoc", 0.2), v("ThickChord", 0.1), sharp);
    case kFourDigitModCurve:
      return four_digit_mod_shape(v("Camber", 0.0), v("CamberLoc", 0.2), v("ThickChord", 0.1),
                                  v("ThickLoc", 0.3), v("LERadIndx", 6.0), sharp);
    case kFiveDigitCurve:
      return five_digit_shape(v("IdealCl", 0.3), v("CamberLoc", 0.15), v("ThickChord", 0.1), sharp);
    case kFiveDigitModCurve:
      return five_digit_mod_shape(v("IdealCl", 0.3), v("CamberLoc", 0.15), v("ThickChord", 0.1),
                                  v("ThickLoc", 0.3), v("LERadIndx", 6.0), sharp);
    case kSixteenSeriesCurve: return sixteen_series_shape(v("IdealCl", 0.2), v("ThickChord", 0.1), sharp);
    case kSixSeriesCurve: return six_series(data, c);
    case kBiconvexCurve: return biconvex_shape(v("ThickChord", 0.1));
    case kWedgeCurve: {
      WedgeParameters p;
      p.thickness = v("ThickChord", 0.1);
      p.upper_location = v("ThickLoc", 0.5);
      p.upper_flat = v("FlatUp", 0.0);
      const bool symmetric = v("SymmThick", 1.0) != 0.0;
      p.lower_location = symmetric ? p.upper_location : v("ThickLocLow", 0.5);
      p.lower_flat = symmetric ? p.upper_flat : v("FlatLow", 0.0);
      p.camber = v("ZCamber", 0.0);
      return wedge_shape(p);
    }
    case kKarmanTrefftzCurve: return karman_trefftz_shape(v("Epsilon", 0.1), v("Kappa", 0.1), v("Tau", 10.0));
    default: return nullptr;
  }
}

}  // namespace orvanta::vsp
