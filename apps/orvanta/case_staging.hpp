#pragma once
#include <optional>
#include <string>

namespace orvanta::app {

// ParaView's OpenFOAM reader opens a case through an empty file ending in .foam inside it.
inline constexpr const char* kParaViewCaseFile = "case.foam";
// Where a flow case keeps its mesh case's system/ folder (see stage_case).
inline constexpr const char* kMeshRecipeDir = "mesh_recipe";

// Creates the case directory with the asset package copied in, an empty kParaViewCaseFile
// and, for a skill with a prerequisite, the prerequisite case's mesh, model and
// design-variable file, and its system/ folder as kMeshRecipeDir/system. Whole or nothing: a failure removes the half-made case.
void stage_case(const std::string& case_dir, const std::string& asset_package,
                const std::optional<std::string>& prereq_case_dir);

}  // namespace orvanta::app
