"""The surface figures of a flow solution on a synthetic surface whose pressure is known:
a thin wing beside a thick fuselage, and a symmetry plane."""

import os
import shutil
import tempfile
import unittest

import numpy as np

from case_scripts import ASSETS  # noqa: F401
from test_cfd_metrics import HAVE_ORVANTA
from orvanta_case import flow_field_views, pressure_profiles

P_REF, Q = 101325.0, 6000.0


def airfoil(n=40):
    """A closed 12 %-thick section (x from 0 to 1), upper surface first."""
    x = 0.5 * (1 - np.cos(np.linspace(0, np.pi, n)))
    t = 0.6 * (0.2969 * np.sqrt(x) - 0.126 * x - 0.3516 * x ** 2 + 0.2843 * x ** 3 - 0.1036 * x ** 4)
    return np.concatenate([np.column_stack([x[::-1], t[::-1]]), np.column_stack([x[1:-1], -t[1:-1]])])


def extrude(section, y0, y1, n_span, x0=0.0, z0=0.0):
    """Quads of a section swept from y0 to y1: (points, quads)."""
    ys = np.linspace(y0, y1, n_span)
    points = np.array([[x0 + x, y, z0 + z] for y in ys for x, z in section])
    m = len(section)
    quads = [[j * m + i, j * m + (i + 1) % m, (j + 1) * m + (i + 1) % m, (j + 1) * m + i]
             for j in range(n_span - 1) for i in range(m)]
    return points, np.array(quads)


def write_surface(path):
    """Wing (chord 1 at x 2..3, y 0.3..3) with Cp -1 on top and +0.5 below, a fuselage
    cylinder of radius 0.4 and a patch of symmetry plane; U is 0 on walls."""
    import vtk
    from vtk.util.numpy_support import numpy_to_vtk

    wing_points, wing_quads = extrude(airfoil(), 0.3, 3.0, 12, x0=2.0)
    angle = np.linspace(0, 2 * np.pi, 24, endpoint=False)
    tube = np.column_stack([0.4 * np.cos(angle), 0.4 * np.sin(angle)])
    body_points, body_quads = extrude(tube, 0.0, 8.0, 9)
    body_points = body_points[:, [1, 0, 2]]  # the tube's axis along x, from 0 to 8
    plane_points = np.array([[0, 0, -2], [9, 0, -2], [9, 0, 2], [0, 0, 2]], dtype=float)
    points = np.concatenate([wing_points, body_points, plane_points])
    quads = np.concatenate([wing_quads, body_quads + len(wing_points), [[0, 1, 2, 3]] + np.array(
        len(wing_points) + len(body_points))])
    centroids = points[quads].mean(axis=1)
    cp = np.where(centroids[:, 2] > 0, -1.0, 0.5)
    cp[len(wing_quads):] = 0.0
    speed = np.zeros((len(quads), 3))
    speed[-1] = [110.0, 0.0, 0.0]

    poly = vtk.vtkPolyData()
    vtk_points = vtk.vtkPoints()
    vtk_points.SetData(numpy_to_vtk(points, deep=True))
    poly.SetPoints(vtk_points)
    cells = vtk.vtkCellArray()
    for q in quads:
        cells.InsertNextCell(4, [int(i) for i in q])
    poly.SetPolys(cells)
    for name, values in (("p", P_REF + Q * cp), ("U", speed)):
        array = numpy_to_vtk(np.ascontiguousarray(values), deep=True)
        array.SetName(name)
        poly.GetCellData().AddArray(array)
    writer = vtk.vtkXMLPolyDataWriter()
    writer.SetFileName(path)
    writer.SetInputData(poly)
    writer.Write()


class SurfaceFigures(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.case = tempfile.mkdtemp(prefix="orvanta_cfd_figures_")
        os.makedirs(os.path.join(cls.case, "VTK"))
        write_surface(os.path.join(cls.case, "VTK", "boundary.vtp"))
        cls.data = pressure_profiles._with_face_normals(
            pressure_profiles._read_boundary(os.path.join(cls.case, "VTK", "boundary.vtp")))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.case)

    def test_the_wing_section_is_found_beside_the_fuselage(self):
        # y = 0.35 cuts the wing and grazes the side of the fuselage (radius 0.4), in a
        # curve that is even thinner than the wing's and eight times as long.
        x_over_c, p, upper, chord, leading = pressure_profiles.wing_section(
            *pressure_profiles.section_segments(self.data, 0.35))
        self.assertAlmostEqual(chord, 1.0, places=6)
        self.assertAlmostEqual(leading[0], 2.0, places=6)
        self.assertTrue(np.all((x_over_c >= 0) & (x_over_c <= 1)))
        cp = (p - P_REF) / Q
        np.testing.assert_allclose(cp[upper], -1.0)
        np.testing.assert_allclose(cp[~upper], 0.5)
        self.assertEqual(upper.sum(), (~upper).sum())

    def test_no_section_beyond_the_tip(self):
        self.assertIsNone(pressure_profiles.wing_section(*pressure_profiles.section_segments(self.data, 3.5)))

    @unittest.skipUnless(HAVE_ORVANTA, "needs the orvanta executable (ORVANTA_BIN)")
    def test_profile_figures_are_named_by_the_host_suffixes(self):
        written = pressure_profiles.plot_pressure_profiles(self.case, "VTK/boundary.vtp", [0.75, 1.5], [0.25, 0.5],
                                                           P_REF, Q, -1.5, 1.0)
        self.assertEqual([os.path.basename(p) for p in written],
                         ["aircraft_pressure_profile_y0p25.png", "aircraft_pressure_profile_y0p5.png"])
        self.assertEqual(pressure_profiles.plot_pressure_profiles(self.case, "VTK/boundary.vtp", [], [], P_REF, Q,
                                                                  -1.5, 1.0), [])
        with self.assertRaisesRegex(ValueError, r"no wing section at y = 3.5 .*\(1 other station\(s\) drawn\)"):
            pressure_profiles.plot_pressure_profiles(self.case, "VTK/boundary.vtp", [1.0, 3.5], [0.3, 1.2], P_REF, Q,
                                                     -1.5, 1.0)

    def test_an_optimized_surface_finds_its_baseline_beside_it_and_draws_both(self):
        vtk_dir = os.path.join(self.case, "VTK")
        self.assertIsNone(pressure_profiles._baseline_beside(self.case, "VTK/boundary.vtp"))
        shutil.copy(os.path.join(vtk_dir, "boundary.vtp"), os.path.join(vtk_dir, "boundary_optimized.vtp"))
        self.assertIsNone(pressure_profiles._baseline_beside(self.case, "VTK/boundary_optimized.vtp"))
        shutil.copy(os.path.join(vtk_dir, "boundary.vtp"), os.path.join(vtk_dir, "boundary_baseline.vtp"))
        self.assertIsNotNone(pressure_profiles._baseline_beside(self.case, "VTK/boundary_optimized.vtp"))
        if HAVE_ORVANTA:
            written = pressure_profiles.plot_pressure_profiles(self.case, "VTK/boundary_optimized.vtp", [0.75],
                                                               [0.25], P_REF, Q, -1.5, 1.0)
            self.assertTrue(os.path.getsize(written[0]) > 0)

    def test_flow_field_figures(self):
        surface, speed = flow_field_views.read_cell_field(os.path.join(self.case, "VTK", "boundary.vtp"), "U")
        self.assertEqual(len(speed), len(surface))
        self.assertEqual(speed[-1], 110.0)
        written = flow_field_views.plot_flow_field(self.case, "Cp", ["VTK/boundary.vtp"], -1.5, 1.0, P_REF, 1 / Q)
        self.assertEqual([os.path.basename(p) for p in written], ["aircraft_flow_field_Cp_3d.png"])
        pair = flow_field_views.plot_flow_field(self.case, "U", ["VTK/boundary.vtp"] * 2, -0.3, 0.3, 100.0, 0.01,
                                                "(|U|-U0)/U0")
        self.assertEqual([os.path.basename(p) for p in pair],
                         ["aircraft_flow_field_U_3d_baseline.png", "aircraft_flow_field_U_3d_optimized.png"])
        with self.assertRaisesRegex(ValueError, "two"):
            flow_field_views.plot_flow_field(self.case, "Cp", ["VTK/boundary.vtp"] * 3, -1.5, 1.0, P_REF, 1 / Q)
        with self.assertRaisesRegex(ValueError, "var_lower"):
            flow_field_views.plot_flow_field(self.case, "Cp", ["VTK/boundary.vtp"], 1.0, -1.5, P_REF, 1 / Q)


if __name__ == "__main__":
    unittest.main()
