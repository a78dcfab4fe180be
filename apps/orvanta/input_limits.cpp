#include "apps/orvanta/input_limits.hpp"

#include "host/base/errors.hpp"
#include "host/base/json_file.hpp"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace orvanta::app {
namespace fs = std::filesystem;
namespace {

// snappyHexMesh refinement levels halve the cell size each: level 10 already means cells
// 1/1024 of the background cell, beyond any mesh this machine can hold.
constexpr double kMaxSurfaceLevel = 10;

long long positive_setting(const Json& value, const std::string& what) {
  long long n = 0;
  try {
    n = to_int(value);
  } catch (const OrvantaError&) {
    n = 0;  // refused below, with the value as given
  }
  if (n < 1) throw ValueError(what + " must be an integer of at least 1, got " + shown_value(value) + ".");
  return n;
}

long long machine_cpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? online : 1;
}

// The value as the skill converts it; nullopt when the conversion fails. Integer inputs
// truncate reals toward zero, as the integer conversion does.
std::optional<double> converted(const Json& value, bool integer) {
  try {
    if (!integer) return to_real(value);
    if (value.is_number_float()) {
      const double d = value.get<double>();
      return std::isfinite(d) ? std::optional<double>(std::trunc(d)) : std::nullopt;
    }
    return static_cast<double>(to_int(value));
  } catch (const OrvantaError&) {
    return std::nullopt;  // reported as a value outside the range, with the value as given
  }
}

std::string range_text(const InputRange& r) {
  auto number_text = [&r](double v) { return r.integer ? std::to_string(static_cast<long long>(v)) : g_format(v); };
  std::string s = r.integer ? "an integer" : "a finite number";
  if (r.minimum && r.maximum) s += " from " + number_text(*r.minimum) + " to " + number_text(*r.maximum);
  else if (r.minimum) s += " of at least " + number_text(*r.minimum);
  else if (r.above_zero) s += " above 0";
  if (!r.note.empty()) s += " (" + r.note + ")";
  return s;
}

}  // namespace

std::string shown_value(const Json& value) {
  if (value.is_number_float() && !std::isfinite(value.get<double>())) return real_text(value.get<double>());
  return value.dump();
}

RankLimit rank_limit(const std::string& work_dir) {
  if (const char* env = std::getenv("ORVANTA_MAX_RANKS"); env && *env)
    return {positive_setting(Json(env), "ORVANTA_MAX_RANKS"), "ORVANTA_MAX_RANKS"};
  const fs::path file = fs::path(work_dir) / "orvanta.json";
  if (fs::is_regular_file(file)) {
    const Json user = read_json_object_file(file.string());
    const Json scheduler = user.contains("scheduler") ? user.at("scheduler") : Json();
    if (!scheduler.is_null() && !scheduler.is_object())
      throw ValueError("scheduler in " + file.string() + " must be a JSON object.");
    if (scheduler.is_object() && scheduler.contains("max_ranks")) {
      const std::string what = "scheduler.max_ranks in " + file.string();
      return {positive_setting(scheduler.at("max_ranks"), what), what};
    }
  }
  const long long cpus = machine_cpus();
  return {std::max(2LL, cpus), "the " + std::to_string(cpus) + " CPUs of this machine; ORVANTA_MAX_RANKS or "
                                   "scheduler.max_ranks in orvanta.json set another limit"};
}

std::optional<InputRange> input_range(const std::string& name, const std::string& type, const RankLimit& ranks) {
  if (type != "int" && type != "float") return std::nullopt;
  InputRange r;
  r.integer = type == "int";
  if (name == "surface_level") {
    r.minimum = 1;
    r.maximum = kMaxSurfaceLevel;
  } else if (name == "n_cpus" || name == "n_cpu_cores") {
    r.minimum = 1;
    r.maximum = static_cast<double>(ranks.max_ranks);
    r.note = "rank limit from " + ranks.source;
  } else if (name == "mach_number" || name == "reynolds_number") {
    r.above_zero = true;
  }
  return r;
}

void check_input_value(const std::string& name, const Json& value, const InputRange& range) {
  const std::optional<double> v = converted(value, range.integer);
  const bool ok = v && std::isfinite(*v) && !(range.above_zero && *v <= 0) && !(range.minimum && *v < *range.minimum) &&
                  !(range.maximum && *v > *range.maximum);
  if (!ok) throw ValueError("Input `" + name + "` must be " + range_text(range) + ", got " + shown_value(value) + ".");
}

void add_range_to_schema(Json& schema, const InputRange& range) {
  if (range.minimum) schema["minimum"] = range.integer ? Json(static_cast<long long>(*range.minimum)) : Json(*range.minimum);
  if (range.maximum) schema["maximum"] = range.integer ? Json(static_cast<long long>(*range.maximum)) : Json(*range.maximum);
  if (range.above_zero) schema["exclusiveMinimum"] = 0;
}

}  // namespace orvanta::app
