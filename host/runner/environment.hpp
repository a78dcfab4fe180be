#pragma once
// The environment every command the host starts sees: OpenFOAM's variables, `python` as the
// interpreter that has matplotlib/numpy/vtk, Open MPI allowed as root, and the orvanta
// executable on PATH. Found once per process; each piece can be overridden.

#include <map>
#include <string>
#include <vector>

namespace orvanta::runner {

struct CommandEnvironment {
  std::map<std::string, std::string> variables;
  // "NAME=value" strings for execve.
  std::vector<std::string> envp() const;
};

// Overrides, read from this process's environment:
//   ORVANTA_OPENFOAM_DIR  OpenFOAM installation (default: WM_PROJECT_DIR if set, else
//                         /usr/share/openfoam when it exists)
//   ORVANTA_PYTHON        interpreter that `python` means (default /usr/bin/python3)
CommandEnvironment command_environment();

// Folder holding `python` and `python3` links to the chosen interpreter (created on demand).
std::string python_shim_dir(const std::string& interpreter);

}  // namespace orvanta::runner
