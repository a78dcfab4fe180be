#pragma once
#include <string>

namespace orvanta {

// Stages the user's aircraft.vsp3 and vsp_design_vars.json from the working directory (the
// case directory's parent) into the case, replacing the packaged copies; the model first.
void copy_custom_aircraft_inputs(const std::string& case_dir);

}  // namespace orvanta
