#pragma once
#include "host/base/base_skill.hpp"

namespace orvanta {

// run-cfd-simulation: one steady RANS solution on the mesh skill's mesh, convergence
// figures, surface fields and a convergence verdict.
class AircraftRunCFDSimulation : public BaseSkill {
 public:
  // Define the aircraft CFD simulation skill metadata.
  AircraftRunCFDSimulation();

  void prepare() override;
  // Check whether the required aircraft mesh files exist before running CFD.
  Json review_prepare() override;
  // Start the aircraft CFD simulation in the background, then reconstruct the fields and
  // export VTK data when the solver finishes.
  void run() override;
  // Verify whether the detached CFD run is still active or has produced the expected outputs.
  Json review_run() override;
  // Plot CFD convergence and aircraft surface/mesh results using the case-local plotting wrapper.
  void analyze() override;
  // Evaluate CFD convergence from cfd_analysis_metrics.json, check that the expected
  // convergence and aircraft surface figures were generated, and return viewer links.
  Json review_analyze() override;

  static Json static_input_info();
};

}  // namespace orvanta
