#pragma once
// Trailing-edge modifications of wing section curves, in the order they apply: closing a
// blunt trailing edge to a chosen thickness by shearing one or both sides about the leading
// edge, then trimming the trailing edge off (the cut leaves a blunt, flat trailing edge).
// Lengths are fractions of the chord.

#include "vsp/airfoil.hpp"
#include "vsp/model_data.hpp"

#include <memory>
#include <string>

namespace orvanta::vsp {

enum class TrailingEdgeClose { kNone = 0, kSkewLower = 1, kSkewUpper = 2, kSkewBoth = 3, kExtrapolate = 4 };

// Shears the chosen side(s) so that the trailing-edge gap becomes `thickness`.
std::shared_ptr<const AirfoilShape> close_trailing_edge(std::shared_ptr<const AirfoilShape> shape,
                                                        TrailingEdgeClose how, double thickness);
// Cuts each side where it is `distance` from its own trailing-edge point.
std::shared_ptr<const AirfoilShape> trim_trailing_edge_by_length(std::shared_ptr<const AirfoilShape> shape,
                                                                 double distance);
// Cuts both sides where the section is `thickness` thick, measured between points at equal
// distance from the middle of the trailing edge.
std::shared_ptr<const AirfoilShape> trim_trailing_edge_by_thickness(std::shared_ptr<const AirfoilShape> shape,
                                                                    double thickness);

// The modifications a curve's Close and Trim groups ask for, for a section of `chord` (which
// absolute lengths are divided by); GeometryBuildError naming `where` for ones not drawn.
std::shared_ptr<const AirfoilShape> apply_trailing_edge_modifiers(const ModelData& data,
                                                                  const XSecCurve& curve,
                                                                  std::shared_ptr<const AirfoilShape> shape,
                                                                  double chord, bool inverted,
                                                                  const std::string& where);

}  // namespace orvanta::vsp
