#pragma once
#include <cstdio>
#include <string>

namespace orvanta::vsp {

// Numbers in messages: short and exact enough to recognise ("0", "2.5", "1e-10").
inline std::string short_number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

}  // namespace orvanta::vsp
