#pragma once
// People read figure and surface names as titles, not as file names.

#include <string>

namespace orvanta::viewers {

// A readable title for a figure or surface file: the stem with underscores as spaces, the
// first letter capitalised, abbreviations spelled out ("cfd" -> "CFD", "opt_hst" ->
// "optimization history") and spanwise-station suffixes decoded ("y0p25" -> "y = 0.25").
// "plots/aircraft_pressure_profile_y0p25.png" -> "Aircraft pressure profile y = 0.25".
std::string title_from_file_name(const std::string& path);

// Title of a gallery page from its file name: "cfd.html" -> "CFD figures".
std::string page_title(const std::string& page);

}  // namespace orvanta::viewers
