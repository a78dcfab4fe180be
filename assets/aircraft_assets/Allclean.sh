#!/bin/sh
# Removes what an earlier geometry, mesh or analysis run left in this case, so that a
# new run starts from the packaged files only. Packaged files are never touched: the
# dictionaries, 0_orig, the scripts, aircraft.vsp3 and vsp_design_vars.json stay.
cd "$(dirname "$0")" || exit 1

# Mesh and the run's intermediate states.
rm -rf constant/polyMesh processor* postProcessing dynamicCode
for time_dir in [0-9]*; do
    case "$time_dir" in
        *[!0-9.e+-]*) ;;                      # not a time name: keep
        *) [ -d "$time_dir" ] && rm -rf "$time_dir" ;;
    esac
done
rm -rf constant/extendedFeatureEdgeMesh constant/cellLevel constant/pointLevel
rm -f constant/triSurface/*.stl constant/triSurface/*.eMesh constant/triSurface/*.obj
rm -f system/snappyHexMeshDict system/topoSetDict

# Surfaces, figures and metrics.
rm -rf VTK plots
rm -f aircraft.stl mesh_analysis_metrics.json mesh_analysis.json run_finished.pid

# Logs of the mesh run and its analysis. log_geometry.txt is not removed: the run
# restarts it with this script's own output.
rm -f log_mesh.txt log_geometry_plot.txt log_mesh_plot.txt

echo "Allclean: removed the results of earlier runs in $(pwd)"
