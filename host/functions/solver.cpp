#include "host/functions/solver.hpp"

#include "host/base/errors.hpp"
#include "host/base/paths.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

namespace orvanta {
namespace fs = std::filesystem;
namespace {

const std::vector<std::string>& known_solvers() {
  static const std::vector<std::string> s = {"DASimpleFoam", "DARhoSimpleFoam", "DAHisaFoam"};
  return s;
}

const std::vector<std::string>& known_turbulence_models() {
  static const std::vector<std::string> m = {"SpalartAllmaras", "kOmegaSST", "kEpsilon", "realizableKE",
                                             "RNGkEpsilon",     "kOmega",    "LaunderSharmaKE", "laminar"};
  return m;
}

std::string joined(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : ", ") + n;
  return out;
}

bool contains(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

}  // namespace

// Rule: at Mach >= boundary the transonic solver is taken, whatever was requested; below it
// the requested solver is kept. A null or empty request means "DARhoSimpleFoam" (the steady
// compressible solver suits the whole subsonic range); an unknown name is a ValueError, so a
// typo never reaches the run. A null boundary never switches.
std::string resolve_solver_name(const Json& requested, const Json& mach_number, const std::string& transonic_solver,
                                const Json& transonic_boundary) {
  std::string name = truthy(requested) ? to_text(requested) : "DARhoSimpleFoam";
  if (!contains(known_solvers(), name))
    throw ValueError("Unknown solver_name `" + name + "`; supported solvers are " + joined(known_solvers()) + ".");
  const double mach = to_real(mach_number);
  if (!transonic_boundary.is_null() && mach >= to_real(transonic_boundary)) return transonic_solver;
  return name;
}

// The asset package keeps one folder per solver, solvers/<name>/{system,constant}. The
// case's staged copy is used when present, so a case stays self-contained; the package's
// own folder otherwise. Existing files of the same name are replaced.
void copy_solver_files(const std::string& case_dir, const std::string& solver_name) {
  fs::path source = fs::path(case_dir) / "solvers" / solver_name;
  if (!fs::is_directory(source)) source = asset_package_dir("aircraft_assets") / "solvers" / solver_name;
  if (!fs::is_directory(source))
    throw FileNotFoundError("Solver files for " + solver_name + " were not found: " + source.string());
  fs::copy(source, case_dir, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

// Writes constant/turbulenceProperties: RAS with the named model, or laminar. The model's
// own fields are in 0_orig for every supported model.
void write_turbulence_model(const std::string& case_dir, const Json& turbulence_model) {
  const std::string model = to_text(turbulence_model);
  if (!contains(known_turbulence_models(), model))
    throw ValueError("Unknown turbulence_model `" + model + "`; supported models are " +
                     joined(known_turbulence_models()) + ".");
  const fs::path constant = fs::path(case_dir) / "constant";
  fs::create_directories(constant);
  const fs::path target = constant / "turbulenceProperties";
  const fs::path tmp = constant / ".turbulenceProperties.tmp";
  {
    std::ofstream f(tmp);
    if (!f) throw OSError("Cannot write " + target.string());
    f << "FoamFile\n{\n    version     2.0;\n    format      ascii;\n    class       dictionary;\n"
         "    object      turbulenceProperties;\n}\n\n";
    if (model == "laminar") {
      f << "simulationType laminar;\n";
    } else {
      f << "simulationType RAS;\n\nRAS\n{\n    RASModel        " << model
        << ";\n    turbulence      on;\n    printCoeffs     on;\n}\n";
    }
  }
  fs::rename(tmp, target);
}

}  // namespace orvanta
