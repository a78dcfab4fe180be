#pragma once
#include "host/base/base_skill.hpp"

namespace orvanta {

// generate-cfd-mesh: the aircraft model (packaged or the user's), changed by design-variable
// inputs, exported to STL and meshed with OpenFOAM; figures and a mesh-quality verdict.
class AircraftGenerateCFDMesh : public BaseSkill {
 public:
  // Define the aircraft CFD mesh skill metadata.
  AircraftGenerateCFDMesh();

  // Override `BaseSkill.get_input_info()` so mesh generation can expose VSP geometry inputs.
  Json get_input_info() override;

  void prepare() override;
  Json review_prepare() override;
  // Launch aircraft geometry export and OpenFOAM mesh generation in the background through
  // the packaged case-local workflow.
  void run() override;
  // Review whether the detached aircraft geometry and mesh run finished successfully.
  Json review_run() override;
  // Summarize aircraft mesh quality and generate the user-facing geometry and mesh PNGs.
  void analyze() override;
  Json review_analyze() override;

  static Json static_input_info();
};

}  // namespace orvanta
