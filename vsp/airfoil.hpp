#pragma once
// Wing section curves at unit chord: NACA 4-series, CST and airfoils given as points.
// A curve is parameterised by w in [0, 4]: 0 the trailing edge on the lower side, 2 the
// leading edge, 4 the trailing edge on the upper side; each side by normalised arc length.

#include "vsp/internal/arc_table.hpp"
#include "vsp/model_data.hpp"
#include "vsp/vec3.hpp"

#include <memory>
#include <string>
#include <vector>

namespace orvanta::vsp {

// Both sides of an airfoil, each from the leading edge (t = 0) to the trailing edge (t = 1);
// x along the chord, y up.
class AirfoilShape {
 public:
  virtual ~AirfoilShape() = default;
  virtual Vec2 upper(double t) const = 0;
  virtual Vec2 lower(double t) const = 0;
  // True when both sides are given as y(x) with t = x, so thickness needs no search for x.
  virtual bool sides_share_x() const { return false; }
};

std::shared_ptr<const AirfoilShape> four_series_shape(double camber, double camber_location, double thickness,
                                                      bool sharp_trailing_edge);
// Class function sqrt(x)(1 - x) times Bernstein sums of the coefficients (lower ones signed).
std::shared_ptr<const AirfoilShape> cst_shape(std::vector<double> upper_coeffs,
                                              std::vector<double> lower_coeffs);
// Smooth curves through points given from the leading to the trailing edge; the thickness is
// scaled about the camber line by `thickness_ratio`.
std::shared_ptr<const AirfoilShape> point_shape(std::vector<Vec2> upper, std::vector<Vec2> lower,
                                                double thickness_ratio);

// Rotation (degrees, about the leading edge), scale and shifts (fractions of the chord) that
// every curve carries, applied after the shape is built and inverted.
struct CurvePlacement {
  double theta = 0.0, scale = 1.0, dx = 0.0, dy = 0.0;
};

class Airfoil {
 public:
  explicit Airfoil(std::shared_ptr<const AirfoilShape> shape, bool inverted = false,
                   CurvePlacement placement = {});

  Vec2 point(double w) const;
  // Largest distance between the sides measured at equal chord position.
  double max_thickness() const;
  // Distance between the two trailing-edge points (0 for a sharp trailing edge).
  double trailing_edge_gap() const;

 private:
  Vec2 side_point(bool upper, double t) const;

  std::shared_ptr<const AirfoilShape> shape_;
  bool inverted_;
  CurvePlacement placement_;
  double cos_ = 1.0, sin_ = 0.0;
  internal::ArcTable upper_arc_, lower_arc_;
};

// "a NACA 5-digit curve (type 16)", "an ellipse curve (type 2)": a curve type in messages.
std::string curve_phrase(int type);

// The airfoil of a wing cross-section curve, with its trailing-edge closure and trim (their
// absolute lengths taken on a section of `chord`), inversion, rotation, scale and shifts;
// GeometryBuildError for curve types the engine does not draw as airfoils (the message names
// the type and `where`).
Airfoil make_airfoil(const ModelData& data, const XSecCurve& curve, const std::string& where,
                     double chord = 1.0);

// Keeps the derived values of an airfoil curve current: with ContLERad a CST curve's Al_0
// follows -Au_0, and a CST curve's ThickChord is measured from its shape (again only when
// the shape changed since the last measurement).
void update_airfoil_outputs(ModelData& data, XSecCurve& curve);

}  // namespace orvanta::vsp
