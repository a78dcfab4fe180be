#include "vsp/spacing.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orvanta::vsp {
namespace {

// Root of f(d) = target on [lo, hi] for an increasing f, by bisection (robust and exact enough).
template <typename F>
double solve_increasing(F f, double target, double lo, double hi) {
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    (f(mid) < target ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

}  // namespace

std::vector<double> clustered_spacing(int points, double start_factor, double end_factor) {
  const int n = std::max(points, 2) - 1;
  std::vector<double> s(static_cast<size_t>(n) + 1);
  start_factor = std::max(start_factor, 1e-4);
  end_factor = std::max(end_factor, 1e-4);
  const double a = std::sqrt(end_factor / start_factor);
  const double b = 1.0 / std::sqrt(start_factor * end_factor);
  enum { kUniform, kHyperbolic, kTrigonometric } kind = kUniform;
  double d = 0.0;
  if (b > 1.0 + 1e-9) {
    kind = kHyperbolic;
    d = solve_increasing([](double x) { return std::sinh(x) / x; }, b, 1e-9, 50.0);
  } else if (b < 1.0 - 1e-9) {
    kind = kTrigonometric;
    d = solve_increasing([](double x) { return -std::sin(x) / x; }, -b, 1e-9, std::numbers::pi - 1e-9);
  }
  for (int i = 0; i <= n; ++i) {
    const double xi = static_cast<double>(i) / n;
    double u = xi;
    if (kind == kHyperbolic) u = 0.5 * (1.0 + std::tanh(d * (xi - 0.5)) / std::tanh(0.5 * d));
    if (kind == kTrigonometric) u = 0.5 * (1.0 + std::tan(d * (xi - 0.5)) / std::tan(0.5 * d));
    s[static_cast<size_t>(i)] = u / (a + (1.0 - a) * u);
  }
  s.front() = 0.0;
  s.back() = 1.0;
  return s;
}

}  // namespace orvanta::vsp
