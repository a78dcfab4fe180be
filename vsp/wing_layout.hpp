#pragma once
// Where each cross-section of a wing sits in the wing's own frame (x aft, y along the right
// wing, z up): leading-edge point, chord, twist about its axis, dihedral and the optional
// rolling of the airfoil to match the dihedral.

#include "vsp/matrix4.hpp"
#include "vsp/model_data.hpp"

#include <vector>

namespace orvanta::vsp {

struct WingStation {
  Vec3 leading_edge;
  double chord = 0.0;
  double twist = 0.0;           // degrees, positive raises the leading edge
  double twist_location = 0.25; // chord fraction of the twist axis
  Vec3 twist_axis{0.0, 1.0, 0.0};
  double roll = 0.0;            // degrees about x, when airfoils follow the dihedral
  double thickness_scale = 1.0;
  double dihedral = 0.0;        // of the panel that ends at this station
  double span = 0.0;            // of that panel (0 at the root)
};

std::vector<WingStation> wing_stations(const ModelData& data, const Geom& geom);

// Carries a unit-chord airfoil point (x, 0, y) to the station: scale by the chord, roll,
// twist about the twist axis, move to the leading edge.
Matrix4 station_frame(const WingStation& s);

}  // namespace orvanta::vsp
