#pragma once
// Closed section curves of fuselages: point, circle, ellipse, super ellipse, rounded rectangle
// and the general fuselage curve. A curve lies in its section plane (x to the right, i.e. +y
// of the model; y up) around the section centre, parameterised by w in [0, 4): 0 top,
// 1 right, 2 bottom, 3 left, each quarter by normalised arc length, so that sections of
// different shapes pair their top, side and bottom points.

#include "vsp/internal/arc_table.hpp"
#include "vsp/model_data.hpp"
#include "vsp/vec3.hpp"

#include <array>
#include <functional>
#include <string>

namespace orvanta::vsp {

class BodyCurve {
 public:
  // `quarter(q, t)`: the points of quarter q for t in [0, 1], in curve order.
  BodyCurve(std::function<Vec2(int, double)> quarter, bool is_point);

  Vec2 point(double w) const;
  bool is_point() const { return is_point_; }
  // Width and height the curve's parameters give (0 for a point); skinning scales by them.
  double width() const { return width_; }
  double height() const { return height_; }
  void set_size(double width, double height) { width_ = width, height_ = height; }

 private:
  std::function<Vec2(int, double)> quarter_;
  std::array<internal::ArcTable, 4> arcs_;
  bool is_point_;
  double width_ = 0.0, height_ = 0.0;
};

BodyCurve point_curve();
BodyCurve ellipse_curve(double width, double height);
// |y/(w/2)|^m + |z/(h/2)|^n = 1 with separate exponents below the widest line, which sits at
// max_width_location * h/2 above the centre.
BodyCurve super_ellipse_curve(double width, double height, double m_top, double n_top, double m_bottom,
                              double n_bottom, double max_width_location);
// Corner radii top-right, top-left, bottom-left, bottom-right.
BodyCurve rounded_rect_curve(double width, double height, std::array<double, 4> radii);
// Cubic quarters through top, widest point and bottom with tangent angles and strengths.
BodyCurve general_fuse_curve(double width, double height, double max_width_location, double top_angle,
                             double bottom_angle, double top_strength, double bottom_strength,
                             double up_strength, double low_strength);

// The section curve of a fuselage cross-section, with its rotation, scale and shifts applied;
// GeometryBuildError for curve types that are not body curves the engine draws.
BodyCurve make_body_curve(const ModelData& data, const XSecCurve& curve, const std::string& where);

}  // namespace orvanta::vsp
