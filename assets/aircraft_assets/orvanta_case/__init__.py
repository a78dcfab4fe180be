"""Shared code of the case-local scripts (script_*.py) of an orvanta aircraft case.

The scripts stay thin programs with one function per mode; what they share (reading
OpenFOAM logs and surfaces, writing result files, drawing figures) lives here. The
package is copied into every case with the scripts, so it needs nothing beyond Debian's
python3 with numpy, matplotlib and vtk.
"""
