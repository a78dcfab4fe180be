#pragma once
// Reference quantities of a wing for force and moment coefficients, and the planform numbers
// that lifting-line estimates need. Spans and areas count both halves of a mirrored wing.

#include "vsp/model_data.hpp"
#include "vsp/vec3.hpp"

namespace orvanta::vsp {

struct WingReference {
  double area = 0.0;            // planform area
  double span = 0.0;            // measured in the panel planes
  double projected_span = 0.0;  // seen from the front
  double mac = 0.0;             // mean aerodynamic chord
  double mean_chord = 0.0;      // plain mean of the panels' average chords
  double root_chord = 0.0, tip_chord = 0.0, taper_ratio = 0.0;
  double aspect_ratio = 0.0;    // span^2 / area
  double le_sweep_deg = 0.0;    // of the line from root to tip leading edge
  double quarter_chord_sweep_deg = 0.0;
  Vec3 mac_leading_edge;        // model coordinates, on the component's own (right) half
};

WingReference wing_reference(const ModelData& data, const Geom& wing);

}  // namespace orvanta::vsp
