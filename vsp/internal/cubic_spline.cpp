#include "vsp/internal/cubic_spline.hpp"

#include <algorithm>

namespace orvanta::vsp::internal {

CubicSpline::CubicSpline(std::vector<double> t, std::vector<double> y)
    : t_(std::move(t)), y_(std::move(y)), m_(t_.size(), 0.0) {
  const size_t n = t_.size();
  if (n < 3) return;
  // Tridiagonal system for the second derivatives with zero end curvature (Thomas algorithm).
  std::vector<double> c(n, 0.0), d(n, 0.0);
  for (size_t i = 1; i + 1 < n; ++i) {
    const double h0 = t_[i] - t_[i - 1], h1 = t_[i + 1] - t_[i];
    const double a = h0, b = 2.0 * (h0 + h1), cc = h1;
    const double r = 6.0 * ((y_[i + 1] - y_[i]) / h1 - (y_[i] - y_[i - 1]) / h0);
    const double denom = b - a * c[i - 1];
    c[i] = cc / denom;
    d[i] = (r - a * d[i - 1]) / denom;
  }
  for (size_t i = n - 2; i >= 1; --i) {
    m_[i] = d[i] - c[i] * m_[i + 1];
    if (i == 1) break;
  }
}

double CubicSpline::operator()(double t) const {
  const size_t n = t_.size();
  if (n == 0) return 0.0;
  if (n == 1) return y_[0];
  size_t k = static_cast<size_t>(std::upper_bound(t_.begin(), t_.end(), t) - t_.begin());
  k = std::clamp<size_t>(k, 1, n - 1);
  const double h = t_[k] - t_[k - 1];
  if (h <= 0.0) return y_[k];
  const double a = (t_[k] - t) / h, b = (t - t_[k - 1]) / h;
  return a * y_[k - 1] + b * y_[k] + ((a * a * a - a) * m_[k - 1] + (b * b * b - b) * m_[k]) * h * h / 6.0;
}

}  // namespace orvanta::vsp::internal
