#pragma once
// End caps of wings: the curve across the end joining each point of the end airfoil to its
// partner on the other side (upper to lower at the same chord position), leaving both points
// along the surface's outward direction. Flat caps join them straight; round caps by a
// circular arc; edge caps by two straight lines meeting ahead of the end; sharp caps by two
// parabolas meeting there.

#include "vsp/model_data.hpp"
#include "vsp/vec3.hpp"

#include <string>
#include <vector>

namespace orvanta::vsp {

enum class CapKind { kNone = 0, kFlat = 1, kRound = 2, kEdge = 3, kSharp = 4 };

struct CapSettings {
  CapKind kind = CapKind::kFlat;
  double length = 1.0, offset = 0.0, strength = 0.5;
  bool sweep_stretch = false;  // lengthen the cap by 1 / sin of the sweep of the end
  int rows = 3;                // point rows across each half of the cap
};

// The cap settings of one end (`CapUMin` or `CapUMax`) of a component; GeometryBuildError
// naming `where` for cap kinds not drawn.
CapSettings cap_settings(const ModelData& data, const Geom& geom, bool at_max, const std::string& where);

// The two halves of one cap curve as Bezier control points, each from its end point to the
// seam where they meet.
struct CapCurve {
  std::vector<Vec3> upper, lower;
  Vec3 at(bool upper_half, double f) const;  // f = 0 at the airfoil, 1 at the seam
};

// `up` and `down` are partner points, `up_dir` and `down_dir` the unit outward directions
// of the surface there, `forward` the unit direction from the trailing to the leading edge.
CapCurve cap_curve(const CapSettings& s, Vec3 up, Vec3 down, Vec3 up_dir, Vec3 down_dir, Vec3 forward);

}  // namespace orvanta::vsp
