#pragma once
// Sizes of a wing that shape changes must not shrink too far: section thickness at chord
// stations, leading-edge radius and enclosed volume. All lengths are in model units (chord
// and the section's thickness scaling applied), measured in each section's own chord frame,
// so twist and dihedral leave them unchanged.

#include "vsp/model_data.hpp"

#include <string>
#include <vector>

namespace orvanta::vsp {

struct WingSectionMeasure {
  double chord = 0.0;
  double max_thickness = 0.0;
  double le_radius = 0.0;          // of the circle through the nose and its two neighbours
  std::vector<double> thickness;   // at each chord station, upper minus lower side
};

struct WingMeasure {
  std::string name;
  std::vector<double> stations;  // chord fractions of the thickness values
  std::vector<WingSectionMeasure> sections;
  double volume = 0.0;           // of one copy (one half of a mirrored wing), closed at root and tip
};

// Chord fractions used when none are given.
const std::vector<double>& default_thickness_stations();

// GeometryBuildError when the wing cannot be drawn; std::invalid_argument for stations
// outside (0, 1).
WingMeasure measure_wing(const ModelData& data, const Geom& wing,
                         const std::vector<double>& stations = default_thickness_stations());

}  // namespace orvanta::vsp
