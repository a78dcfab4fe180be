#pragma once
#include "host/base/base_skill.hpp"

namespace orvanta {

// run-aero-optimization: gradient-based shape optimization of the design variables on the
// mesh skill's mesh, with a lift constraint and geometric constraints.
class AircraftRunAeroOptimization : public BaseSkill {
 public:
  // Define the aircraft aerodynamic optimization skill metadata.
  AircraftRunAeroOptimization();

  // Prepare the optimization case and copy the config files for the resolved solver name.
  void prepare() override;
  // Check whether the required aircraft mesh and VSP files exist before running optimization.
  Json review_prepare() override;
  // Start the aircraft aerodynamic optimization in the background, then reconstruct the
  // fields and export VTK data when the optimizer finishes.
  void run() override;
  // Verify whether the detached optimization run is still active or has produced the
  // expected outputs.
  Json review_run() override;
  // Plot optimization convergence, optimized pressure profiles, and aircraft flow results.
  void analyze() override;
  // Evaluate optimization convergence and generated figures, and return viewer links.
  Json review_analyze() override;

  static Json static_input_info();
  // Log file of an optimizer name (upper-cased); unknown names fall back to SLSQP's.
  static std::string optimizer_log(const std::string& optimizer_upper);
};

}  // namespace orvanta
