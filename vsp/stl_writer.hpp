#pragma once
// ASCII STL in OpenVSP's layout (one solid, numbers as "%.10e"), written atomically: the file
// appears complete under its name or not at all.

#include "vsp/tri_mesh.hpp"

#include <string>

namespace orvanta::vsp {

// Throws std::runtime_error naming the path when the file cannot be written.
void write_stl(const std::string& path, const TriMesh& mesh, const std::string& solid_name);

// The text of the file write_stl writes (for callers that keep the surface in memory).
std::string stl_text(const TriMesh& mesh, const std::string& solid_name);

}  // namespace orvanta::vsp
