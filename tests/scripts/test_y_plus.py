"""First-cell y+ on the aircraft: the yPlus field of the latest time laid on the aircraft
faces of the boundary export, its area-weighted statistics and its figure."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import numpy as np

from case_scripts import ASSETS
from orvanta_case import flow_field_views, foam_files, y_plus

# The mesh's boundary file as the mesh run leaves it (after createPatch): the symmetry
# plane first, so the aircraft's faces follow the plane's in the export.
BOUNDARY = """/*--------------------------------*- C++ -*----------------------------------*\\
| =========                 |                                                 |
| \\\\      /  F ield         | OpenFOAM: The Open Source CFD Toolbox           |
\\*---------------------------------------------------------------------------*/
FoamFile
{
    version     2.0;
    format      ascii;
    class       polyBoundaryMesh;
    location    "constant/polyMesh";
    object      boundary;
}
// * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * //

3
(
    sym
    {
        type            symmetry;
        inGroups        1(symmetry);
        nFaces          {sym};
        startFace       108056;
    }
    farfield
    {
        type            patch;
        nFaces          {farfield};
        startFace       110214;
    }
    aircraft
    {
        type            wall;
        inGroups        1(wall);
        nFaces          {aircraft};
        startFace       115014;
    }
)

// ************************************************************************* //
"""

FIELD = """FoamFile
{
    version     2.0;
    format      ascii;
    class       volScalarField;
    location    "40";
    object      yPlus;
}
// * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * //

dimensions      [0 0 0 0 0 0 0];


internalField   uniform 0;

boundaryField
{
    sym
    {
        type            symmetry;
    }
    farfield
    {
        type            calculated;
        value           uniform 0;
    }
    aircraft
    {
        type            calculated;
        value           {values};
    }
}


// ************************************************************************* //
"""


def scalar_list(values):
    return "nonuniform List<scalar> \n{}\n(\n{}\n)\n".format(len(values), "\n".join(f"{v:.10g}" for v in values))


def write_export(path, plane_quads, aircraft_quads, points):
    """A boundary export: the plane's faces, then the aircraft's."""
    import vtk
    from vtk.util.numpy_support import numpy_to_vtk

    poly = vtk.vtkPolyData()
    vtk_points = vtk.vtkPoints()
    vtk_points.SetData(numpy_to_vtk(np.asarray(points, dtype=float), deep=True))
    poly.SetPoints(vtk_points)
    cells = vtk.vtkCellArray()
    for quad in list(plane_quads) + list(aircraft_quads):
        cells.InsertNextCell(len(quad), [int(i) for i in quad])
    poly.SetPolys(cells)
    writer = vtk.vtkXMLPolyDataWriter()
    writer.SetFileName(path)
    writer.SetInputData(poly)
    writer.Write()


def box_case(case_dir, values_text, n_aircraft=6):
    """A unit cube standing on the plane y = 0 out to y = 1 (five faces, one of area 1 per
    side, the sixth face split in two halves), and two plane faces around it."""
    points = [[0, 0, 0], [1, 0, 0], [1, 0, 1], [0, 0, 1], [0, 1, 0], [1, 1, 0], [1, 1, 1], [0, 1, 1],
              [-1, 0, -1], [2, 0, -1], [2, 0, 2], [-1, 0, 2], [0.5, 1, 0], [0.5, 1, 1]]
    aircraft = [[0, 1, 5, 4], [1, 2, 6, 5], [2, 3, 7, 6], [3, 0, 4, 7], [4, 12, 13, 7], [12, 5, 6, 13]]
    plane = [[8, 9, 10, 11], [8, 11, 10, 9]]
    os.makedirs(os.path.join(case_dir, "constant", "polyMesh"))
    os.makedirs(os.path.join(case_dir, "VTK"))
    for time_name in ("0", "40"):
        os.makedirs(os.path.join(case_dir, time_name))
    foam_files.write(os.path.join(case_dir, "constant", "polyMesh", "boundary"),
                     BOUNDARY.replace("{farfield}", "20").replace("{sym}", "2").replace("{aircraft}",
                                                                                        str(n_aircraft)))
    if values_text is not None:
        foam_files.write(os.path.join(case_dir, "40", "yPlus"), FIELD.replace("{values}", values_text))
    write_export(os.path.join(case_dir, "VTK", "boundary.vtp"), plane, aircraft, points)


class FieldAndMeshFiles(unittest.TestCase):
    def test_patches_in_the_mesh_order_and_where_the_aircraft_sits_in_the_export(self):
        patches = foam_files.boundary_patches(BOUNDARY.replace("{farfield}", "20").replace("{sym}", "2")
                                              .replace("{aircraft}", "6"))
        self.assertEqual(patches, [("sym", 2), ("farfield", 20), ("aircraft", 6)])
        self.assertEqual(y_plus.exported_range(patches), (2, 6))
        self.assertEqual(y_plus.exported_range([("aircraft", 6), ("sym", 2)]), (0, 6))
        with self.assertRaisesRegex(ValueError, "^the mesh has no patch aircraft$"):
            y_plus.exported_range([("sym", 2)])

    def test_patch_values_listed_short_or_uniform(self):
        text = FIELD.replace("{values}", scalar_list([31.5, 2e2, 0.75]))
        np.testing.assert_array_equal(foam_files.patch_scalar_values(text, "aircraft", 3), [31.5, 200.0, 0.75])
        # OpenFOAM writes short lists on one line.
        short = FIELD.replace("{values}", "nonuniform List<scalar> 2(4 5)")
        np.testing.assert_array_equal(foam_files.patch_scalar_values(short, "aircraft", 2), [4.0, 5.0])
        np.testing.assert_array_equal(foam_files.patch_scalar_values(text, "farfield", 2), [0.0, 0.0])
        with self.assertRaisesRegex(ValueError, "^patch aircraft holds 3 values for 4 faces$"):
            foam_files.patch_scalar_values(text, "aircraft", 4)
        with self.assertRaisesRegex(ValueError, "^patch sym has no value entry$"):
            foam_files.patch_scalar_values(text, "sym", 2)
        with self.assertRaisesRegex(ValueError, "^no boundary entry for patch fin$"):
            foam_files.patch_scalar_values(text, "fin", 2)


class Statistics(unittest.TestCase):
    def test_the_mean_is_weighted_by_face_area(self):
        stats = y_plus.statistics(np.array([10.0, 100.0]), np.array([3.0, 1.0]))
        self.assertEqual(stats, {"min": 10.0, "mean": 32.5, "max": 100.0})
        self.assertEqual(y_plus.fraction_between(np.array([10.0, 100.0]), np.array([3.0, 1.0]), 30, 100), 0.25)

    def test_a_diverged_or_empty_surface_has_no_statistics(self):
        self.assertIsNone(y_plus.statistics(np.array([10.0, np.nan]), np.array([1.0, 1.0])))
        self.assertIsNone(y_plus.statistics(np.array([]), np.array([])))
        self.assertIsNone(y_plus.statistics(np.array([5.0]), np.array([0.0])))


class FinalSolution(unittest.TestCase):
    def setUp(self):
        self.case = tempfile.mkdtemp(prefix="orvanta_y_plus_")
        self.addCleanup(shutil.rmtree, self.case)

    def test_values_land_on_the_aircraft_faces_of_the_export(self):
        values = [10.0, 20.0, 30.0, 40.0, 50.0, 150.0]
        box_case(self.case, scalar_list(values))
        surface, read = y_plus.read_final(self.case)
        np.testing.assert_array_equal(read, values)
        # The plane's two faces come first in the export and are left out.
        self.assertEqual(len(surface), 6)
        self.assertGreater(surface.centroids()[:, 1].min(), 0.0)
        np.testing.assert_allclose(surface.areas(), [1, 1, 1, 1, 0.5, 0.5])
        stats = y_plus.statistics(read, surface.areas())
        self.assertEqual((stats["min"], stats["max"]), (10.0, 150.0))
        self.assertAlmostEqual(stats["mean"], 40.0)  # the face mean would be 50

        written = flow_field_views.plot_y_plus(self.case, surface, read, surface.areas())
        self.assertEqual(written, os.path.join(self.case, "plots", "aircraft_surface_y_plus.png"))
        import matplotlib.image as image
        pixels = image.imread(written)
        self.assertGreater((pixels[..., :3].std(axis=2) > 0.02).mean(), 0.002)
        with self.assertRaisesRegex(ValueError, "no finite y"):
            flow_field_views.plot_y_plus(self.case, surface, np.full(6, np.nan), surface.areas())

    def test_the_figure_mode_of_the_plot_script(self):
        box_case(self.case, scalar_list([10.0, 20.0, 30.0, 40.0, 50.0, 150.0]))
        command = [sys.executable, os.path.join(ASSETS, "script_plot_results.py"), "-mode", "aircraft_plot_y_plus",
                   "-case_dir", self.case]
        result = subprocess.run(command, capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("aircraft_plot_y_plus: 1 figures", result.stdout)
        self.assertTrue(os.path.isfile(os.path.join(self.case, "plots", "aircraft_surface_y_plus.png")))
        os.remove(os.path.join(self.case, "40", "yPlus"))
        result = subprocess.run(command, capture_output=True, text=True)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr.strip(),
                         f"aircraft_plot_y_plus: the latest time of {self.case} holds no yPlus field")

    def test_no_y_plus_field_in_the_latest_time(self):
        box_case(self.case, None)
        self.assertIsNone(y_plus.read_final(self.case))
        # Only 0, the initial fields: nothing solved yet.
        shutil.rmtree(os.path.join(self.case, "40"))
        self.assertIsNone(y_plus.read_final(self.case))

    def test_an_export_of_another_mesh_is_refused(self):
        box_case(self.case, scalar_list([1.0] * 7), n_aircraft=7)
        with self.assertRaisesRegex(ValueError, "^VTK/boundary.vtp holds 8 faces, but the mesh's patches aircraft "
                                                "and sym have 9: it is not this mesh's export$"):
            y_plus.read_final(self.case)
        os.remove(os.path.join(self.case, "VTK", "boundary.vtp"))
        with self.assertRaisesRegex(FileNotFoundError, "^VTK/boundary.vtp does not exist"):
            y_plus.read_final(self.case)


if __name__ == "__main__":
    unittest.main()
