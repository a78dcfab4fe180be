#pragma once
// Identifiers in the style the .vsp3 format uses: random upper-case letters, 10 for
// containers and 11 for parameters.

#include <string>

namespace orvanta::vsp {

std::string new_container_id();
std::string new_parm_id();
std::string random_id(int length);

}  // namespace orvanta::vsp
