#include "apps/orvanta/case_staging.hpp"

#include "host/base/errors.hpp"
#include "host/base/paths.hpp"

#include <filesystem>
#include <fstream>

namespace orvanta::app {
namespace fs = std::filesystem;
namespace {

// Copies a tree, leaving out Python caches and hidden host folders.
void copy_tree(const fs::path& from, const fs::path& to) {
  fs::create_directories(to);
  for (const auto& e : fs::directory_iterator(from)) {
    const std::string name = e.path().filename().string();
    if (name == "__pycache__" || name == ".orvanta") continue;
    if (e.is_directory()) copy_tree(e.path(), to / name);
    else fs::copy_file(e.path(), to / name, fs::copy_options::overwrite_existing);
  }
}

// The mesh case's dictionaries as its run left them (levels, layers, background block): an
// optimization re-meshes its designs from them, one level finer, to confirm its result.
void bring_mesh_recipe(const fs::path& prereq, const fs::path& case_dir) {
  const fs::path system = prereq / "system";
  if (!fs::is_regular_file(system / "snappyHexMeshDict_no_layer")) return;
  const fs::path recipe = case_dir / kMeshRecipeDir / "system";
  fs::remove_all(recipe);
  copy_tree(system, recipe);
}

// What a flow case takes from its mesh case.
void bring_prerequisite(const fs::path& prereq, const fs::path& case_dir) {
  const fs::path mesh = prereq / "constant" / "polyMesh";
  if (!fs::is_directory(mesh)) throw FileNotFoundError("The prerequisite case has no mesh: " + mesh.string());
  fs::remove_all(case_dir / "constant" / "polyMesh");
  copy_tree(mesh, case_dir / "constant" / "polyMesh");
  for (const char* file : {"aircraft.vsp3", "vsp_design_vars.json", "aircraft.stl"})
    if (fs::is_regular_file(prereq / file))
      fs::copy_file(prereq / file, case_dir / file, fs::copy_options::overwrite_existing);
  bring_mesh_recipe(prereq, case_dir);
}

void write_empty_file(const fs::path& file) {
  std::ofstream out(file, std::ios::trunc);
  if (!out) throw OSError("Cannot write " + file.string());
}

}  // namespace

void stage_case(const std::string& case_dir, const std::string& asset_package,
                const std::optional<std::string>& prereq_case_dir) {
  const fs::path assets = asset_package_dir(asset_package);
  if (!fs::is_directory(assets)) throw FileNotFoundError("Asset package was not found: " + assets.string());
  fs::create_directories(fs::path(case_dir).parent_path());
  if (!fs::create_directory(case_dir)) throw ValueError("Case directory already exists: " + case_dir);
  try {
    copy_tree(assets, case_dir);
    write_empty_file(fs::path(case_dir) / kParaViewCaseFile);
    if (prereq_case_dir) bring_prerequisite(*prereq_case_dir, case_dir);
  } catch (...) {
    std::error_code ignored;
    fs::remove_all(case_dir, ignored);
    throw;
  }
}

}  // namespace orvanta::app
