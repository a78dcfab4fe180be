#pragma once
// The blockMesh background of a mesh case, sized from the wing's reference length: a far
// field of 40 lengths in x and z and half that in y, in cells of max_cell_size, at least one
// each way. The mesh run writes it into blockMeshDict; case starts refuse one too fine.

namespace orvanta {

struct BackgroundMesh {
  double extent = 0;  // far-field size in x and z
  // Cell counts as reals: a tiny cell size gives counts beyond any integer, which a caller
  // refuses or converts (non-finite counts stay as they are, so the conversion can say so).
  double nx = 1, ny = 1;
  double cells() const { return nx * ny * nx; }
};

BackgroundMesh background_mesh(double reference_length, double max_cell_size);

}  // namespace orvanta
