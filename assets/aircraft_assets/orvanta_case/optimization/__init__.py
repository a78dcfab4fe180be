"""Gradient-based aerodynamic shape optimization of the case's aircraft.

The driver (`script_run_dafoam.py -task=run_driver`) minimises the drag coefficient at a
prescribed lift coefficient over the case's design variables and the angle of attack.
Each design goes through the geometry engine (orvanta vsp apply-design-vars), moves the
baseline mesh's aircraft points with the surface (orvanta vsp displace) and the rest of
the mesh with OpenFOAM's moveMesh, and is solved warm-started from the previous design.
Gradients come from finite differences of such solutions.
"""
