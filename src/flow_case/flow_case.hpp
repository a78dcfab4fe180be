#pragma once
// Preparing a flow case on the mesh skill's mesh and checking its files; the plot commands
// and the final review the two flow skills share are in plot_commands.hpp and flow_review.hpp.

#include "host/base/base_skill.hpp"

#include <string>
#include <vector>

namespace orvanta {

// Resolves the solver, stages its files and turbulence model, and adds the wing's
// reference geometry to the bound inputs.
void prepare_flow_case(BaseSkill& skill);

// "pass", or "fail" naming the missing mesh, model or design-variable files.
Json review_flow_case_files(const BaseSkill& skill);

// Words separated by single spaces, as the notes and command lines join them.
std::string joined_words(const std::vector<std::string>& words);

}  // namespace orvanta
