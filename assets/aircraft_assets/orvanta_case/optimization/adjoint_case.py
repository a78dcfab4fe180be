"""An incompressible adjoint case of the aircraft for OpenFOAM's adjointOptimisationFoam:
a steady SIMPLE primal with Spalart-Allmaras, the continuous adjoint of the drag
coefficient with the adjoint Spalart-Allmaras model (not frozen turbulence), and the
drag's sensitivity to every aircraft surface point (surfacePoints, area included, so
that a displacement field dx of the points changes the drag by sum(S . dx)).

The wall treatment follows the mesh: `low_re` for layer meshes that resolve the viscous
sublayer (y+ ~ 1: no wall function, adjointWallVelocityLowRe), `wall_function` for the
usual meshes (Spalding's law, adjointWallVelocity). Only the far field, the symmetry plane
and the aircraft are expected as patches.
"""

import math
import os
import shutil

FIELDS_HEADER = "FoamFile\n{{\n    version 2.0;\n    format ascii;\n    class {cls};\n    object {name};\n}}\n\n"
DICT_HEADER = "FoamFile\n{{\n    version 2.0;\n    format ascii;\n    class dictionary;\n    object {name};\n}}\n\n"


def _vector(v):
    return "(" + " ".join(f"{c:.10g}" for c in v) + ")"


def _field(name, cls, dims, internal, patches):
    body = "\n".join(f"    {patch}\n    {{\n" + "".join(f"        {k} {v};\n" for k, v in entries.items()) + "    }"
                     for patch, entries in patches.items())
    return (FIELDS_HEADER.format(cls=cls, name=name) + f"dimensions [{dims}];\n\ninternalField uniform {internal};\n\n"
            f"boundaryField\n{{\n{body}\n}}\n")


def fields(speed, angle_deg, nu, wall):
    """{name: text} of the initial fields."""
    a = math.radians(angle_deg)
    u = _vector((speed * math.cos(a), 0.0, speed * math.sin(a)))
    nu_tilda = 3.0 * nu
    low_re = wall == "low_re"
    sym = {"type": "symmetry"}
    return {
        "U": _field("U", "volVectorField", "0 1 -1 0 0 0 0", u, {
            "farfield": {"type": "freestreamVelocity", "freestreamValue": f"uniform {u}", "value": f"uniform {u}"},
            "aircraft": {"type": "noSlip"}, "sym": sym}),
        "p": _field("p", "volScalarField", "0 2 -2 0 0 0 0", "0", {
            "farfield": {"type": "freestreamPressure", "freestreamValue": "uniform 0", "value": "uniform 0"},
            "aircraft": {"type": "zeroGradient"}, "sym": sym}),
        "nuTilda": _field("nuTilda", "volScalarField", "0 2 -1 0 0 0 0", f"{nu_tilda:.8g}", {
            "farfield": {"type": "inletOutlet", "inletValue": f"uniform {nu_tilda:.8g}", "value": f"uniform {nu_tilda:.8g}"},
            "aircraft": {"type": "fixedValue", "value": "uniform 0"}, "sym": sym}),
        "nut": _field("nut", "volScalarField", "0 2 -1 0 0 0 0", "0", {
            "farfield": {"type": "calculated", "value": "uniform 0"},
            "aircraft": ({"type": "nutLowReWallFunction", "value": "uniform 0"} if low_re else
                         {"type": "nutUSpaldingWallFunction", "value": "uniform 0"}), "sym": sym}),
        "Ua": _field("Ua", "volVectorField", "0 1 -1 0 0 0 0", "(0 0 0)", {
            "farfield": {"type": "adjointFarFieldVelocity", "value": "uniform (0 0 0)"},
            "aircraft": {"type": "adjointWallVelocityLowRe" if low_re else "adjointWallVelocity",
                         "value": "uniform (0 0 0)"}, "sym": sym}),
        "pa": _field("pa", "volScalarField", "0 2 -2 0 0 0 0", "0", {
            "farfield": {"type": "adjointFarFieldPressure", "value": "uniform 0"},
            "aircraft": {"type": "zeroGradient"}, "sym": sym}),
        "nuaTilda": _field("nuaTilda", "volScalarField", "0 0 -1 0 0 0 0", "0", {
            "farfield": {"type": "adjointFarFieldNuaTilda", "value": "uniform 0"},
            "aircraft": {"type": "fixedValue", "value": "uniform 0"}, "sym": sym}),
    }


def _objective(name, direction, half_area, speed, weight):
    return f"""                        {name}
                        {{
                            weight {weight};
                            type force;
                            patches (aircraft);
                            direction {_vector(direction)};
                            Aref {half_area:.10g};
                            rhoInf 1;
                            UInf {speed:.10g};
                        }}"""


def _adjoint_solver(name, objectives, active, adjoint_iters):
    return f"""            {name}
            {{
                active {"true" if active else "false"};
                type incompressible;
                solver adjointSimple;
                computeSensitivities {"true" if active else "false"};
                objectives
                {{
                    type incompressible;
                    objectiveNames
                    {{
{objectives}
                    }}
                }}
                // The adjoint transpose convection is kept at walls too (nothing zeroed):
                // zeroing it there drops the term that carries the wall's influence.
                ATCModel
                {{
                    ATCModel standard;
                    extraConvection 0;
                    nSmooth 0;
                    zeroATCPatchTypes ();
                    maskType faceCells;
                }}
                solutionControls
                {{
                    nIters {adjoint_iters};
                    residualControl {{ "pa.*" 1e-7; "Ua.*" 1e-7; "nuaTilda.*" 1e-7; }}
                }}
            }}"""


# The adjoint solver of each objective. v1912 allows one adjoint solver per case unless each
# names its own fields, so drag and lift are two runs (see adjoint_gradient).
SOLVERS = {"drag": "adjDrag", "lift": "adjLift"}


def optimisation_dict(speed, angle_deg, half_area, primal_iters, adjoint_iters, adjoint_active=True,
                      objective="drag"):
    """A single run: the primal converged (no averaging), then the adjoint of `objective`
    ("drag" along the freestream, "lift" normal to it) with its surface-point sensitivities
    in the full form (distance, mesh movement and the objective's own contribution
    included). Both coefficients are evaluated and written; the other one weighs 0."""
    a = math.radians(angle_deg)
    directions = {"drag": (math.cos(a), 0.0, math.sin(a)), "lift": (-math.sin(a), 0.0, math.cos(a))}
    objectives = "\n".join(_objective(o, d, half_area, speed, 1 if o == objective else 0)
                           for o, d in directions.items())
    solvers = _adjoint_solver(SOLVERS[objective], objectives, adjoint_active, adjoint_iters)
    return DICT_HEADER.format(name="optimisationDict") + f"""optimisationManager singleRun;

primalSolvers
{{
    op1
    {{
        active true;
        type incompressible;
        solver simple;
        solutionControls
        {{
            nIters {primal_iters};
            residualControl {{ "p.*" 1e-7; "U.*" 1e-7; "nuTilda.*" 1e-7; }}
        }}
    }}
}}

adjointManagers
{{
    adjManager1
    {{
        primalSolver op1;
        operatingPointWeight 1;
        adjointSolvers
        {{
{solvers}
        }}
    }}
}}

optimisation
{{
    sensitivities
    {{
        type surfacePoints;
        patches (aircraft);
        includeSurfaceArea true;
        includeDistance true;
        includeMeshMovement true;
        includeObjectiveContribution true;
        adjointMeshMovementSolver {{ iters 1000; tolerance 1e-6; }}
        adjointEikonalSolver {{ iters 1000; tolerance 1e-6; epsilon 0.1; }}
    }}
}}
"""


CONTROL = DICT_HEADER.format(name="controlDict") + """application adjointOptimisationFoam;
startFrom latestTime;
startTime 0;
stopAt endTime;
endTime 1;
deltaT 1;
writeControl timeStep;
writeInterval 1000000;
purgeWrite 0;
writeFormat ascii;
writePrecision 12;
writeCompression off;
timeFormat general;
timePrecision 8;
runTimeModifiable false;
"""

# Second order (linearUpwind) for the primal and the adjoint alike, as v1912's own adjoint
# tutorials do; the primal here is the adjoint's own (incompressible), so the finite
# differences that check the adjoint solve the same discrete flow.
SCHEMES = DICT_HEADER.format(name="fvSchemes") + """ddtSchemes { default steadyState; }
gradSchemes
{
    default Gauss linear;
    gradUConv cellLimited Gauss linear 1;
    gradNuTildaConv cellLimited Gauss linear 1;
    gradDConv cellLimited Gauss linear 1;
    gradUaConv cellLimited Gauss linear 1;
    gradNuaTildaConv cellLimited Gauss linear 1;
    gradDaConv cellLimited Gauss linear 1;
    gradUATC cellLimited Gauss linear 1;
}
divSchemes
{
    default Gauss linear;
    div(phi,U) bounded Gauss linearUpwind gradUConv;
    div(phi,nuTilda) bounded Gauss linearUpwind gradNuTildaConv;
    div(yPhi,yWall) Gauss linearUpwind gradDConv;
    div(-phi,Ua) bounded Gauss linearUpwind gradUaConv;
    div(-phi,nuaTilda) bounded Gauss linearUpwind gradNuaTildaConv;
    div(-yPhi,da) Gauss linearUpwind gradDaConv;
}
laplacianSchemes { default Gauss linear limited corrected 0.5; }
interpolationSchemes { default linear; }
snGradSchemes { default limited corrected 0.5; }
wallDist
{
    method advectionDiffusion;
    advectionDiffusionCoeffs { method meshWave; tolerance 1e-6; maxIter 2000; epsilon 0.1; }
}
"""

SOLUTION = DICT_HEADER.format(name="fvSolution") + """solvers
{
    "p.*|pa.*" { solver GAMG; smoother GaussSeidel; tolerance 1e-10; relTol 0.01; }
    "m|ma" { solver PCG; preconditioner DIC; tolerance 1e-10; relTol 0.01; }
    Phi { $p; }
    "U.*|Ua.*|nuTilda.*|nuaTilda.*|yWall|da" { solver PBiCGStab; preconditioner DILU; tolerance 1e-12;
                                                relTol 0.1; }
}
potentialFlow { nNonOrthogonalCorrectors 10; }
SIMPLE { nNonOrthogonalCorrectors 0; }
relaxationFactors
{
    fields { "p.*" 0.3; "pa.*" 0.3; }
    equations { "U.*" 0.7; "Ua.*" 0.7; "nuTilda.*" 0.7; "nuaTilda.*" 0.7; "yWall.*" 0.5; "da.*" 0.7; }
}
"""

ADJOINT_RAS = DICT_HEADER.format(name="adjointRASProperties") + """adjointRASModel adjointSpalartAllmaras;
adjointSpalartAllmarasCoeffs { nSmooth 0; zeroATCPatchTypes (); maskType faceCells; }
adjointTurbulence on;
printCoeffs off;
"""

TURBULENCE = DICT_HEADER.format(name="turbulenceProperties") + """simulationType RAS;
RAS { RASModel SpalartAllmaras; turbulence on; printCoeffs off; }
"""


def write_case(directory, mesh_dir, speed, angle_deg, nu, half_area, wall, primal_iters, adjoint_iters,
               n_ranks=1, adjoint_active=True, objective="drag"):
    """A fresh adjoint case in `directory` on a copy of mesh_dir."""
    if os.path.isdir(directory):
        shutil.rmtree(directory)
    for sub in ("system", "constant", "0"):
        os.makedirs(os.path.join(directory, sub))
    shutil.copytree(mesh_dir, os.path.join(directory, "constant", "polyMesh"))
    files = {
        "system/controlDict": CONTROL, "system/fvSchemes": SCHEMES, "system/fvSolution": SOLUTION,
        "system/optimisationDict": optimisation_dict(speed, angle_deg, half_area, primal_iters, adjoint_iters,
                                                     adjoint_active, objective),
        "system/decomposeParDict": DICT_HEADER.format(name="decomposeParDict") +
        f"numberOfSubdomains {n_ranks};\nmethod hierarchical;\nhierarchicalCoeffs {{ n ({n_ranks} 1 1); order xyz; }}\n",
        "constant/transportProperties": DICT_HEADER.format(name="transportProperties") +
        f"transportModel Newtonian;\nnu [0 2 -1 0 0 0 0] {nu:.10g};\n",
        "constant/turbulenceProperties": TURBULENCE, "constant/adjointRASProperties": ADJOINT_RAS,
    }
    for name, text in fields(speed, angle_deg, nu, wall).items():
        files[f"0/{name}"] = text
    for rel, text in files.items():
        with open(os.path.join(directory, rel), "w", encoding="ascii") as f:
            f.write(text)
