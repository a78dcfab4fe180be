#pragma once
// What a case start must satisfy before anything is staged: inputs inside their ranges,
// a background mesh the machine can hold, a model with a usable wing, an optimizer the
// driver knows and a warm-start source inside the working directory. The phases would
// find most of these only in the background run, after the case was made.

#include "apps/orvanta/input_limits.hpp"
#include "host/base/base_skill.hpp"
#include "src/aircraft_generate_cfd_mesh/background_mesh.hpp"

#include <optional>
#include <string>

namespace orvanta::app {

// Largest blockMesh background of a mesh case. The default sizing gives 40 x 20 x 40 =
// 32,000 cells; 2 million is 62 times that and a quarter of n_cells_pass (8 million, the
// largest final mesh that passes on the 24 GB machine). snappyHexMesh only adds cells to
// the background, so a larger one leaves no room for the surface refinement under that.
constexpr double kMaxBackgroundCells = 2'000'000;

struct StartFacts {
  Json inputs;      // bound inputs
  Json adv_params;  // advanced parameters as the phases will see them
  std::string work_dir;
  std::optional<std::string> prereq_dir;
  RankLimit ranks;
};

// ValueError naming the input (or advanced parameter) and its range at the first value
// that fails. May read the skill's design-variable inputs (it sets skill.inputs).
void check_start(BaseSkill& skill, const StartFacts& facts);

}  // namespace orvanta::app
