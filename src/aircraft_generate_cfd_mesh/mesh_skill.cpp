#include "src/aircraft_generate_cfd_mesh/mesh_skill.hpp"

#include "src/aircraft_generate_cfd_mesh/custom_aircraft.hpp"
#include "src/design_vars/design_vars.hpp"

#include <filesystem>

namespace orvanta {
Json AircraftGenerateCFDMesh::static_input_info() {
  Json info = Json::object();
  info["custom_vsp3"] = input_entry("int", 0,
      "If set to 1, copy user-supplied aircraft.vsp3 and vsp_design_vars.json from the working directory into "
      "this mesh case before applying any requested design-variable geometry changes. The VSP3 must contain a "
      "component named Wing.");
  info["n_cpus"] = input_entry("int", 2,
      "Number of MPI ranks used for the parallel snappyHexMesh passes. MUST use at least 2.");
  info["surface_level"] = input_entry("int", 7,
      "snappyHexMesh surface refinement level for the aircraft surface. The main parameter to change the mesh "
      "cells. Level ranges from 5 to 8. level 5: 0.2 M cells, level 6: 0.6 M cells, level 7: 1.5 M cells, level "
      "8: 3.5 M cells.");
  info["n_boundary_layers"] = input_entry("int", 8,
      "Number of prism layers used during the layered snappyHexMesh pass.");
  info["local_refine_box"] = input_entry("list[list[float]]", nullptr,
      "Optional two-corner local refinement box `[[x0, y0, z0], [x1, y1, z1]]`. Leave unset for no local "
      "refinement.");
  return info;
}

AircraftGenerateCFDMesh::AircraftGenerateCFDMesh()
    : BaseSkill("generate-cfd-mesh",
                "Generate the CFD mesh from the pre-defined aircraft OpenVSP file, optionally applying "
                "design-variable geometry changes before meshing.",
                static_input_info(), "aircraft_assets", std::nullopt) {}

Json AircraftGenerateCFDMesh::get_input_info() {
  return get_aircraft_vsp_design_var_input_info(input_info(), inputs);
}

// Stages custom aircraft files when requested and applies any prompt-provided VSP
// design-variable values.
void AircraftGenerateCFDMesh::prepare() {
  const Json custom = inputs.contains("custom_vsp3") ? inputs.at("custom_vsp3") : Json(0);
  if (to_int(custom) != 0) copy_custom_aircraft_inputs(case_dir);
  apply_vsp_design_var_inputs(case_path("vsp_design_vars.json"), case_path("aircraft.vsp3"), inputs);
}

Json AircraftGenerateCFDMesh::review_prepare() {
  const std::string model = case_path("aircraft.vsp3");
  if (!std::filesystem::is_regular_file(model)) {
    Json r = phase_result("review_prepare", "fail");
    r["note"] = "Template VSP3 file was not found: " + model;
    return r;
  }
  return phase_result("review_prepare", "pass");
}

}  // namespace orvanta
