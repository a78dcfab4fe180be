"""Surface readers and the painter's drawing behind the geometry and mesh figures."""

import os
import shutil
import struct
import tempfile
import unittest

import matplotlib.pyplot as plt
import numpy as np

import case_scripts  # noqa: F401  (puts the case package on the path)
from orvanta_case import surface_render as render
from orvanta_case.surfaces import Surface, read_surface, split_long_triangles, symmetry_plane_mask

# Two triangles sharing the edge (1,0,0)-(0,1,0).
TRIANGLES = np.array([[[0, 0, 0], [1, 0, 0], [0, 1, 0]],
                      [[1, 0, 0], [1, 1, 0], [0, 1, 0]]], dtype=float)


class TempDir(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="orvanta_surfaces_")
        self.addCleanup(shutil.rmtree, self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)


class StlFiles(TempDir):
    def write_ascii(self, name):
        with open(self.path(name), "w", encoding="ascii") as f:
            f.write("solid aircraft\n")
            for tri in TRIANGLES:
                f.write("  facet normal 0 0 1\n    outer loop\n")
                f.writelines(f"      vertex {x:.6e} {y:.6e} {z:.6e}\n" for x, y, z in tri)
                f.write("    endloop\n  endfacet\n")
            f.write("endsolid aircraft\n")

    def write_binary(self, name):
        # A binary header may begin with "solid" too: the size decides the format.
        with open(self.path(name), "wb") as f:
            f.write(b"solid exported by a CAD tool".ljust(80, b" "))
            f.write(struct.pack("<I", len(TRIANGLES)))
            for tri in TRIANGLES:
                f.write(struct.pack("<3f", 0, 0, 1) + struct.pack("<9f", *tri.ravel()) + b"\0\0")

    def test_ascii_and_binary_files_give_the_same_shared_corners(self):
        self.write_ascii("a.stl")
        self.write_binary("b.STL")
        for name in ("a.stl", "b.STL"):
            s = read_surface(self.path(name))
            self.assertEqual(len(s), 2, name)
            self.assertEqual(len(s.points), 4, name)  # the shared edge's corners are merged
            np.testing.assert_allclose(s.corners(), TRIANGLES, err_msg=name)
            np.testing.assert_allclose(np.abs(s.normals()[:, 2]), [1, 1], err_msg=name)

    def test_unknown_suffix_and_empty_file_are_refused(self):
        with self.assertRaisesRegex(ValueError, "expected an .stl or .vtp"):
            read_surface(self.path("aircraft.obj"))
        with open(self.path("empty.stl"), "w", encoding="ascii") as f:
            f.write("solid aircraft\nendsolid aircraft\n")
        with self.assertRaisesRegex(ValueError, "holds no triangles"):
            read_surface(self.path("empty.stl"))


class VtpFiles(TempDir):
    def test_mixed_polygons_are_padded_without_moving_their_centres(self):
        import vtk

        points = vtk.vtkPoints()
        for p in [(0, 0, 0), (2, 0, 0), (2, 2, 0), (0, 2, 0), (0, 0, 1)]:
            points.InsertNextPoint(p)
        polys = vtk.vtkCellArray()
        for cell in ([0, 1, 2, 3], [0, 1, 4]):
            polys.InsertNextCell(len(cell), cell)
        data = vtk.vtkPolyData()
        data.SetPoints(points)
        data.SetPolys(polys)
        writer = vtk.vtkXMLPolyDataWriter()
        writer.SetFileName(self.path("boundary.vtp"))
        writer.SetInputData(data)
        writer.Write()

        s = read_surface(self.path("boundary.vtp"))
        self.assertEqual(s.polygons.tolist(), [[0, 1, 2, 3], [0, 1, 4, 4]])
        self.assertEqual(s.corner_counts.tolist(), [4, 3])
        np.testing.assert_allclose(s.centroids(), [[1, 1, 0], [2 / 3, 0, 1 / 3]])
        np.testing.assert_allclose(np.abs(s.normals()), [[0, 0, 1], [0, 1, 0]], atol=1e-12)
        # The padded corner of the triangle adds no area.
        np.testing.assert_allclose(s.areas(), [4.0, 1.0])


class LongTriangles(unittest.TestCase):
    def test_splitting_keeps_the_surface_and_bounds_every_edge(self):
        sliver = Surface([[0, 0, 0], [10, 0, 0], [10, 0.5, 0], [0, 0.5, 1]], [[0, 1, 2], [0, 2, 3]])
        split = split_long_triangles(sliver, 0.7)
        corners = split.corners()
        edges = np.linalg.norm(corners - np.roll(corners, -1, axis=1), axis=2)
        self.assertLessEqual(edges.max(), 0.7)
        area = lambda s: 0.5 * np.linalg.norm(np.cross(s.corners()[:, 1] - s.corners()[:, 0],
                                                        s.corners()[:, 2] - s.corners()[:, 0]), axis=1)
        self.assertAlmostEqual(area(split).sum(), area(sliver).sum())
        # Halves keep their parent's orientation, so shading and facing are unchanged.
        parent_normal = sliver.normals()[0]
        first_half = split.normals()[split.centroids()[:, 2] < 1e-12]
        np.testing.assert_allclose(first_half, np.tile(parent_normal, (len(first_half), 1)), atol=1e-12)


class SymmetryPlane(unittest.TestCase):
    def test_only_faces_lying_in_y_zero_count_not_faces_touching_it(self):
        points = [[0, 0, 0], [1, 0, 0], [1, 0, 1], [0, 0, 1], [0, 1, 0], [1, 1, 0], [0, 2e-9, 1]]
        s = Surface(points, [[0, 1, 2, 3], [0, 1, 5, 4], [0, 1, 6, 6]], [4, 4, 3])
        self.assertEqual(symmetry_plane_mask(s).tolist(), [True, False, True])


class PainterOrder(unittest.TestCase):
    def draw_pixel_at_centre(self, view):
        """Draws a red square at y = 0 and a blue one at y = 1 and returns the centre pixel."""
        plane = Surface([[-1, 0, -1], [1, 0, -1], [1, 0, 1], [-1, 0, 1]], [[0, 1, 2, 3]])
        body = Surface([[-1, 1, -1], [1, 1, -1], [1, 1, 1], [-1, 1, 1]], [[0, 1, 2, 3]])
        fig, ax = render.new_figure("t", "s")
        render.frame(ax, view, [plane, body], 0.5)
        # The blue square is given first: the order must come from depth, not from the list.
        render.draw_layers(ax, [render.Layer(body, "blue"), render.Layer(plane, "red")], view)
        fig.canvas.draw()
        image = np.asarray(fig.canvas.buffer_rgba())
        x, y = ax.transData.transform((0, 0))
        pixel = image[image.shape[0] - int(round(y)), int(round(x))]
        plt.close(fig)
        return pixel

    def test_the_nearer_face_hides_the_farther_from_either_side(self):
        from_plus_y = self.draw_pixel_at_centre(render.View((0, -1, 0), (0, 0, 1)))
        from_minus_y = self.draw_pixel_at_centre(render.View((0, 1, 0), (0, 0, 1)))
        self.assertGreater(from_plus_y[2], from_plus_y[0])  # blue in front
        self.assertGreater(from_minus_y[0], from_minus_y[2])  # red in front

    def test_axis_aligned_views_name_their_screen_axes(self):
        front = render.View((1, 0, 0), (0, 0, 1))
        self.assertEqual(front.screen_axis(front.right), (1, -1.0))  # +y is to the left
        self.assertEqual(front.screen_axis(front.up), (2, 1.0))
        self.assertFalse(render.View((1, -1.2, -0.9), (0, 0, 1)).is_axis_aligned())


if __name__ == "__main__":
    unittest.main()
