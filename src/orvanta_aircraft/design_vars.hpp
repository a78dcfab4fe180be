#pragma once
// Kept only while bench/bench_vsp_model.cpp still includes the old path; the design
// variables live in src/design_vars/.
#include "src/design_vars/design_vars.hpp"
