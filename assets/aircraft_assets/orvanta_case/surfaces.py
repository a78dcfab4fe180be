"""Surfaces for figures: an STL file or a VTK PolyData file as points and polygons.

A Surface keeps its polygons as one (faces, corners) index array, shorter polygons padded
by repeating their last corner: that draws the same outline and keeps every operation
on whole arrays, which matters at a few hundred thousand faces.
"""

import struct

import numpy as np


class Surface:
    def __init__(self, points, polygons, corner_counts=None):
        self.points = np.asarray(points, dtype=float)
        self.polygons = np.asarray(polygons, dtype=np.int64)
        if corner_counts is None:
            corner_counts = np.full(len(self.polygons), self.polygons.shape[1] if self.polygons.size else 0)
        self.corner_counts = np.asarray(corner_counts, dtype=np.int64)

    def __len__(self):
        return len(self.polygons)

    def subset(self, mask):
        return Surface(self.points, self.polygons[mask], self.corner_counts[mask])

    def corners(self):
        """(faces, corners, 3) coordinates of every polygon corner."""
        return self.points[self.polygons]

    def centroids(self):
        c = self.corners()
        # Padding repeats the last corner; weight by real corners only.
        weights = (np.arange(self.polygons.shape[1])[None, :] < self.corner_counts[:, None]).astype(float)
        return (c * weights[:, :, None]).sum(axis=1) / self.corner_counts[:, None]

    def _newell(self):
        # A padded corner repeats its neighbour, so its edge adds nothing.
        c = self.corners()
        return np.cross(c, np.roll(c, -1, axis=1)).sum(axis=1)

    def normals(self):
        """Unit normals by Newell's method, which suits polygons as well as triangles."""
        n = self._newell()
        length = np.linalg.norm(n, axis=1)
        return n / np.where(length > 0, length, 1.0)[:, None]

    def areas(self):
        """Polygon areas: half the length of Newell's normal (exact for planar polygons)."""
        return 0.5 * np.linalg.norm(self._newell(), axis=1)

    def bounds(self):
        """(min, max) corners of the box around the points the polygons use."""
        used = self.points[np.unique(self.polygons)] if len(self) else self.points
        return used.min(axis=0), used.max(axis=0)


def split_long_triangles(surface, max_edge):
    """The same triangles halved across their longest edge until no edge exceeds max_edge.

    Painting faces far to near by their centres goes wrong where long slivers (a
    fuselage's axial facets) meet a surface that passes through them (a wing root);
    short triangles keep the order right. The picture is otherwise unchanged.
    """
    points = surface.points
    tris = surface.polygons[:, :3]
    for _ in range(32):
        c = points[tris]
        lengths = np.linalg.norm(c - np.roll(c, -1, axis=1), axis=2)  # edges 0-1, 1-2, 2-0
        longest = np.argmax(lengths, axis=1)
        split = lengths[np.arange(len(tris)), longest] > max_edge
        if not split.any():
            break
        t = tris[split]
        k = longest[split]
        rows = np.arange(len(t))
        a, b, o = t[rows, k], t[rows, (k + 1) % 3], t[rows, (k + 2) % 3]
        mid = np.arange(len(points), len(points) + len(t))
        points = np.concatenate([points, 0.5 * (points[a] + points[b])])
        tris = np.concatenate([tris[~split], np.column_stack([a, mid, o]), np.column_stack([mid, b, o])])
    return Surface(points, tris)


def _read_binary_stl(data):
    (count,) = struct.unpack_from("<I", data, 80)
    records = np.frombuffer(data, dtype=np.dtype([("normal", "<f4", 3), ("corners", "<f4", (3, 3)),
                                                  ("attribute", "<u2")]), count=count, offset=84)
    return records["corners"].astype(float)


def _read_ascii_stl(text):
    values = [line.split()[1:4] for line in text.splitlines() if line.lstrip().startswith("vertex")]
    return np.array(values, dtype=float).reshape(-1, 3, 3)


def read_stl(path):
    """Reads an ASCII or binary STL; corners shared by triangles are merged by exact position."""
    with open(path, "rb") as f:
        data = f.read()
    is_binary = len(data) >= 84 and len(data) == 84 + 50 * struct.unpack_from("<I", data, 80)[0]
    corners = _read_binary_stl(data) if is_binary else _read_ascii_stl(data.decode("ascii", errors="ignore"))
    if not len(corners):
        raise ValueError(f"{path} holds no triangles")
    points, index = np.unique(corners.reshape(-1, 3) + 0.0, axis=0, return_inverse=True)
    return Surface(points, index.reshape(-1, 3))


def read_vtp(path):
    """Reads the polygons of a VTK XML PolyData file (as foamToVTK writes them)."""
    import vtk
    from vtk.util.numpy_support import vtk_to_numpy

    reader = vtk.vtkXMLPolyDataReader()
    reader.SetFileName(path)
    reader.Update()
    data = reader.GetOutput()
    if data is None or data.GetNumberOfPolys() == 0:
        raise ValueError(f"{path} holds no polygons")
    points = vtk_to_numpy(data.GetPoints().GetData()).astype(float)
    polys = data.GetPolys()
    offsets = vtk_to_numpy(polys.GetOffsetsArray()).astype(np.int64)
    connectivity = vtk_to_numpy(polys.GetConnectivityArray()).astype(np.int64)
    counts = np.diff(offsets)
    width = int(counts.max())
    # Corner k of polygon i, or its last corner where the polygon has fewer than k + 1.
    k = np.minimum(np.arange(width)[None, :], counts[:, None] - 1)
    polygons = connectivity[offsets[:-1, None] + k]
    return Surface(points, polygons, counts)


def read_surface(path):
    lower = path.lower()
    if lower.endswith(".stl"):
        return read_stl(path)
    if lower.endswith(".vtp"):
        return read_vtp(path)
    raise ValueError(f"{path}: expected an .stl or .vtp surface")


def symmetry_plane_mask(surface, tolerance=1e-6):
    """Faces that lie in the plane y = 0 (the half model's symmetry patch).

    foamToVTK's single boundary file carries no patch names, but the symmetry patch is
    the only one that lies wholly in y = 0: the aircraft only touches it along a line.
    """
    lo, hi = surface.bounds()
    scale = max(float(np.max(hi - lo)), 1e-300)
    y = np.abs(surface.corners()[:, :, 1])
    return np.all(y <= tolerance * scale, axis=1)
