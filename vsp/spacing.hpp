#pragma once
// Point distributions along a parameter interval, as OpenVSP's tessellation controls describe
// them: a number of points and end spacings given as multiples of the uniform spacing.

#include <vector>

namespace orvanta::vsp {

// `points` values from 0 to 1 (both included, increasing). The first interval is about
// `start_factor` times the uniform one, the last about `end_factor` times (two-sided tanh
// stretching after Vinokur); factors of 1 give uniform spacing.
std::vector<double> clustered_spacing(int points, double start_factor, double end_factor);

}  // namespace orvanta::vsp
