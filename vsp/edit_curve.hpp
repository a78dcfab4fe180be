#pragma once
// Body sections given by points: the edit curve (control points of Bezier segments, a
// polyline or a monotone cubic through points, each point with its own parameter) and the
// fuselage file curve (points of unit size read into the model).

#include "vsp/body_curve.hpp"
#include "vsp/model_data.hpp"

#include <string>
#include <vector>

namespace orvanta::vsp {

enum class EditCurveKind { kLinear = 0, kPchip = 1, kBezier = 2 };

// A closed curve through `points` (x right, y up, already scaled) at parameters `t` in
// [0, 4], starting on the right side and running down (t = 1 near the bottom, 3 near the
// top). For Bezier segments the points are the control points, 3 per segment plus one.
BodyCurve edit_curve(EditCurveKind kind, std::vector<Vec2> points, std::vector<double> t);

// The edit curve of a cross-section: points X_i, Y_i scaled by Width and Height at
// parameters 4 U_i. GeometryBuildError for rounded corners or malformed point lists.
BodyCurve make_edit_curve(const ModelData& data, const XSecCurve& curve, const std::string& where);

// The file curve of a cross-section: its unit points scaled by Width and Height.
BodyCurve make_file_curve(const ModelData& data, const XSecCurve& curve, const std::string& where);

}  // namespace orvanta::vsp
