#pragma once
// The analytic airfoil curve types of a model, built from their parameters: NACA 4-series,
// 4-digit modified, 5-digit, 5-digit modified, 6-series, 16-series, biconvex, wedge and
// Karman-Trefftz.

#include "vsp/airfoil.hpp"
#include "vsp/model_data.hpp"

#include <memory>

namespace orvanta::vsp {

// Null for curve types that are not analytic airfoils (CST, file, body curves, ...);
// GeometryBuildError for a variant the engine does not draw (the 67-series and the
// 6A-series).
std::shared_ptr<const AirfoilShape> analytic_airfoil_shape(const ModelData& data, const XSecCurve& curve);

}  // namespace orvanta::vsp
