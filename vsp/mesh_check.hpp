#pragma once
// Whether a triangle surface closes: how often each edge is used (two for a closed,
// manifold surface), whether neighbours agree on orientation, and the enclosed volume.

#include "vsp/tri_mesh.hpp"

#include <cstddef>
#include <string>

namespace orvanta::vsp {

struct MeshCheck {
  size_t points = 0, triangles = 0, edges = 0;
  size_t open_edges = 0;       // used by one triangle
  size_t crowded_edges = 0;    // used by three or more
  size_t misoriented_edges = 0;  // two triangles walking the edge the same way
  double volume = 0.0;         // positive when normals point outward

  bool watertight() const { return triangles > 0 && open_edges == 0 && crowded_edges == 0 && misoriented_edges == 0; }
};

MeshCheck check_mesh(const TriMesh& mesh);

// Reads an ASCII STL file; vertices with identical coordinates become one point.
// std::runtime_error when the file cannot be read or is not ASCII STL.
TriMesh read_stl(const std::string& path);

}  // namespace orvanta::vsp
