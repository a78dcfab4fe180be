#include "host/functions/pressure_profile.hpp"

#include "host/base/errors.hpp"

#include <cmath>

namespace orvanta {
namespace {

// Standard sea-level atmosphere; the flow driver sets its freestream from the same numbers.
constexpr double kSeaLevelPressure = 101325.0;   // Pa
constexpr double kSeaLevelTemperature = 288.15;  // K
constexpr double kGasConstant = 287.05;          // J/(kg K), dry air
constexpr double kGamma = 1.4;

}  // namespace

// Rule: p_ref = 101325 Pa; a = sqrt(gamma R T); u0 = Mach a; the pressure-coefficient scale
// is the dynamic pressure q = gamma/2 p_ref Mach^2 (= rho u0^2 / 2). Mach must be positive,
// so neither scale can be zero.
Json compute_pressure_profile_reference_values(const Json& mach_number) {
  const double mach = to_real(mach_number);
  if (!(mach > 0.0) || !std::isfinite(mach))
    throw ValueError("Mach number must be a positive finite number for the pressure reference values, got " +
                     real_text(mach) + ".");
  const double speed_of_sound = std::sqrt(kGamma * kGasConstant * kSeaLevelTemperature);
  Json out = Json::object();
  out["reference_pressure"] = kSeaLevelPressure;
  out["pressure_coefficient_scale"] = 0.5 * kGamma * kSeaLevelPressure * mach * mach;
  out["u0"] = mach * speed_of_sound;
  return out;
}

std::vector<std::string> quoted_values(const Json& values) {
  std::vector<std::string> out;
  if (values.is_null()) return out;
  if (!values.is_array()) return {shell_word(real_text(to_real(values)))};
  for (const auto& v : values) out.push_back(shell_word(real_text(to_real(v))));
  return out;
}

// real_text is injective on doubles, and the substitutions keep it so: "." only follows a
// digit, "-" only leads or follows "e", and "+" (dropped) only follows "e".
std::vector<std::string> pressure_profile_plot_suffixes(const Json& fractions) {
  std::vector<std::string> out;
  if (fractions.is_null()) return out;
  const Json list = fractions.is_array() ? fractions : Json::array({fractions});
  for (const auto& f : list) {
    std::string s = "y";
    for (char c : real_text(to_real(f))) {
      if (c == '.') s += 'p';
      else if (c == '-') s += 'm';
      else if (c != '+') s += c;
    }
    out.push_back(s);
  }
  return out;
}

}  // namespace orvanta
