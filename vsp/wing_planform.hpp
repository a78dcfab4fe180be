#pragma once
// Wing planform rules: each cross-section (panel) is described by eight planform variables of
// which three drive and five follow; neighbouring panels share chords; the wing's totals
// (span, area, mean chords, aspect ratio, mean aerodynamic chord) follow from the panels.

#include "vsp/model_data.hpp"

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvanta::vsp {

// A planform that the parameters cannot describe (unsolvable drivers, non-positive chords).
class PlanformError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The eight planform variables in driver-group order.
enum PlanformVar : int { kAspect = 0, kSpan, kArea, kTaper, kAvgChord, kRootChord, kTipChord, kSecSweep };
constexpr int kPlanformVars = 8;
const char* planform_var_name(int var);

// Drivers of a panel when its file names none: span, root chord, tip chord.
std::vector<int> default_drivers();
// True for a set of three distinct variables that determines a panel (the sets OpenVSP accepts).
bool valid_drivers(const std::vector<int>& drivers);

struct Panel {
  std::array<double, kPlanformVars> v{};  // indexed by PlanformVar
  double sweep = 0.0;                     // degrees, measured at sweep_location
  double sweep_location = 0.0;            // chord fraction
  double sec_sweep_location = 1.0;
  std::vector<int> drivers;

  // tan of the sweep of the chord-fraction line `fraction`.
  double tan_sweep_at(double fraction) const;
};

// Solves span and chords from the drivers, then the five other variables. Driver values are
// kept as they are. PlanformError when the drivers do not determine a valid panel.
void solve_panel(Panel& panel, const std::string& where);
// Recomputes every variable but span and chords from span, root and tip chord.
void derive_panel(Panel& panel);

Panel read_panel(const ModelData& data, const XSec& xsec);
void write_panel(ModelData& data, const XSec& xsec, const Panel& panel);

// Re-solves the panels of wing `geom`, keeps chords continuous, refreshes the curves' chords
// and the wing totals. `edited` lists cross-sections whose parameters were set since the last
// update, oldest first: each is solved from its own drivers and imposes its chords on its
// neighbours, so the latest edit wins where two disagree. PlanformError on invalid planforms.
void update_wing_planform(ModelData& data, int geom, const std::vector<int>& edited);

// Wing totals as OpenVSP stores them (both halves when the wing is mirrored).
struct WingTotals {
  double span = 0.0, projected_span = 0.0, area = 0.0, mean_chord = 0.0, aspect_ratio = 0.0;
  double mac = 0.0;  // mean aerodynamic chord, integral of c^2 over the integral of c
};
WingTotals wing_totals(const ModelData& data, const Geom& geom);
// 2 when the component has any planar or axial symmetry, else 1.
int symmetry_multiplier(const ModelData& data, const Geom& geom);
// Dihedral of each cross-section (index 0 has none), absolute or accumulated as the wing says.
std::vector<double> section_dihedrals(const ModelData& data, const Geom& geom);

}  // namespace orvanta::vsp
