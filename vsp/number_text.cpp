#include "vsp/number_text.hpp"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace orvanta::vsp {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view trimmed(std::string_view t) {
  while (!t.empty() && is_blank(t.front())) t.remove_prefix(1);
  while (!t.empty() && is_blank(t.back())) t.remove_suffix(1);
  return t;
}

}  // namespace

std::optional<double> parse_number(std::string_view text) {
  text = trimmed(text);
  double value = 0.0;
  const auto [stop, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc() && stop == text.data() + text.size()) return value;
  const std::string s(text);
  if (s.empty()) return std::nullopt;
  // strtod, unlike from_chars, also accepts the "+1.0" and hexadecimal forms libxml2 writers never
  // produce but hand-edited files might; it needs a terminated buffer.
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size()) return std::nullopt;
  return v;
}

std::optional<std::vector<double>> parse_number_list(std::string_view text) {
  std::vector<double> values;
  while (true) {
    const auto comma = text.find(',');
    const std::string_view item = trimmed(text.substr(0, comma));
    if (!item.empty()) {
      const auto v = parse_number(item);
      if (!v) return std::nullopt;
      values.push_back(*v);
    }
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return values;
}

std::string value_text(double value) {
  char buf[64];
  const int n = std::snprintf(buf, sizeof buf, "%.18e", value);
  return std::string(buf, static_cast<size_t>(n));
}

}  // namespace orvanta::vsp
