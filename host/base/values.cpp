#include "host/base/values.hpp"

#include "host/base/errors.hpp"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace orvanta {
namespace {

// Type names in the wording people know from the conversion messages of scripting languages.
std::string type_name(const Json& v) {
  switch (v.type()) {
    case Json::value_t::null: return "NoneType";
    case Json::value_t::array: return "list";
    case Json::value_t::object: return "dict";
    case Json::value_t::string: return "str";
    case Json::value_t::boolean: return "bool";
    case Json::value_t::number_float: return "float";
    default: return "int";
  }
}

std::string strip(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

std::string quote_item(const std::string& s) {
  const bool has_single = s.find('\'') != std::string::npos;
  const bool has_double = s.find('"') != std::string::npos;
  const char q = (has_single && !has_double) ? '"' : '\'';
  std::string out(1, q);
  for (unsigned char c : s) {
    if (c == '\\') out += "\\\\";
    else if (c == q) { out += '\\'; out += static_cast<char>(c); }
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else if (c < 0x20 || c == 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else out += static_cast<char>(c);
  }
  out += q;
  return out;
}

bool parse_integer_text(const std::string& text, long long& out) {
  std::string s = strip(text);
  if (s.empty()) return false;
  size_t i = 0;
  if (s[0] == '+' || s[0] == '-') i = 1;
  if (i == s.size()) return false;
  std::string digits = s.substr(0, i);
  bool prev_digit = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (std::isdigit(static_cast<unsigned char>(c))) { digits += c; prev_digit = true; continue; }
    // One underscore between digits groups them ("1_000").
    if (c == '_' && prev_digit && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1]))) {
      prev_digit = false;
      continue;
    }
    return false;
  }
  const char* first = digits.data() + (digits[0] == '+' ? 1 : 0);
  auto [ptr, ec] = std::from_chars(first, digits.data() + digits.size(), out);
  return ec == std::errc() && ptr == digits.data() + digits.size();
}

bool parse_real_text(const std::string& text, double& out) {
  std::string s = strip(text);
  if (s.empty()) return false;
  for (char c : s) {
    // Hexadecimal floats and stray characters are not numeric text here.
    if (!(std::isdigit(static_cast<unsigned char>(c)) || std::isalpha(static_cast<unsigned char>(c)) ||
          c == '.' || c == '+' || c == '-'))
      return false;
    if (c == 'x' || c == 'X' || c == 'p' || c == 'P') return false;
  }
  std::string lower;
  for (char c : s) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string body = lower;
  if (!body.empty() && (body[0] == '+' || body[0] == '-')) body = body.substr(1);
  const bool special = body == "inf" || body == "infinity" || body == "nan";
  if (!special) {
    for (char c : body)
      if (std::isalpha(static_cast<unsigned char>(c)) && c != 'e') return false;
  }
  char* end = nullptr;
  out = std::strtod(s.c_str(), &end);
  return end == s.c_str() + s.size();
}

}  // namespace

long long to_int(const Json& v) {
  switch (v.type()) {
    case Json::value_t::number_integer: return v.get<long long>();
    case Json::value_t::number_unsigned: {
      const unsigned long long u = v.get<unsigned long long>();
      if (u > static_cast<unsigned long long>(std::numeric_limits<long long>::max()))
        throw ValueError("integer " + std::to_string(u) + " is out of range");
      return static_cast<long long>(u);
    }
    case Json::value_t::boolean: return v.get<bool>() ? 1 : 0;
    case Json::value_t::number_float: {
      const double d = v.get<double>();
      if (std::isnan(d)) throw ValueError("cannot convert float NaN to integer");
      if (std::isinf(d)) throw ValueError("cannot convert float infinity to integer");
      // 2^63 itself does not fit; the conversion of anything outside the range is undefined.
      const double t = std::trunc(d);
      if (t >= 9223372036854775808.0 || t < -9223372036854775808.0)
        throw ValueError("float " + real_text(d) + " is out of the integer range");
      return static_cast<long long>(t);
    }
    case Json::value_t::string: {
      long long out = 0;
      if (!parse_integer_text(v.get<std::string>(), out))
        throw ValueError("invalid literal for int() with base 10: " + quote_item(v.get<std::string>()));
      return out;
    }
    default:
      throw TypeError("int() argument must be a string, a bytes-like object or a real number, not '" +
                      type_name(v) + "'");
  }
}

double to_real(const Json& v) {
  switch (v.type()) {
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float: return v.get<double>();
    case Json::value_t::boolean: return v.get<bool>() ? 1.0 : 0.0;
    case Json::value_t::string: {
      double out = 0;
      if (!parse_real_text(v.get<std::string>(), out))
        throw ValueError("could not convert string to float: " + quote_item(v.get<std::string>()));
      return out;
    }
    default:
      throw TypeError("float() argument must be a string or a real number, not '" + type_name(v) + "'");
  }
}

bool truthy(const Json& v) {
  switch (v.type()) {
    case Json::value_t::null: return false;
    case Json::value_t::boolean: return v.get<bool>();
    case Json::value_t::number_integer: return v.get<long long>() != 0;
    case Json::value_t::number_unsigned: return v.get<unsigned long long>() != 0;
    case Json::value_t::number_float: return v.get<double>() != 0.0;
    case Json::value_t::string: return !v.get<std::string>().empty();
    case Json::value_t::array:
    case Json::value_t::object: return !v.empty();
    default: return true;
  }
}

std::string to_text(const Json& v) {
  switch (v.type()) {
    case Json::value_t::string: return v.get<std::string>();
    case Json::value_t::null: return "None";
    case Json::value_t::boolean: return v.get<bool>() ? "True" : "False";
    case Json::value_t::number_integer: return std::to_string(v.get<long long>());
    case Json::value_t::number_unsigned: return std::to_string(v.get<unsigned long long>());
    case Json::value_t::number_float: return real_text(v.get<double>());
    default: return v.dump();
  }
}

std::string real_text(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  std::string sci(buf, res.ptr);
  std::string sign;
  if (sci[0] == '-') { sign = "-"; sci.erase(0, 1); }
  const size_t epos = sci.find('e');
  std::string mantissa = sci.substr(0, epos);
  const int exp = std::stoi(sci.substr(epos + 1));
  std::string digits;
  for (char c : mantissa)
    if (c != '.') digits += c;

  if (exp >= -4 && exp < 16) {
    const int n = static_cast<int>(digits.size());
    if (exp >= 0) {
      if (n <= exp + 1) return sign + digits + std::string(exp + 1 - n, '0') + ".0";
      return sign + digits.substr(0, exp + 1) + "." + digits.substr(exp + 1);
    }
    return sign + "0." + std::string(-exp - 1, '0') + digits;
  }
  std::string out = sign + digits.substr(0, 1);
  if (digits.size() > 1) out += "." + digits.substr(1);
  char ebuf[16];
  std::snprintf(ebuf, sizeof ebuf, "e%c%02d", exp < 0 ? '-' : '+', std::abs(exp));
  return out + ebuf;
}

std::string g_format(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6g", value);
  return buf;
}

std::string list_notation(const std::vector<std::string>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) out += ", ";
    out += quote_item(items[i]);
  }
  return out + "]";
}

std::string list_notation(const Json& items) {
  if (!items.is_array()) return list_notation(std::vector<std::string>{});
  std::string out = "[";
  bool first = true;
  for (const auto& item : items) {
    if (!first) out += ", ";
    first = false;
    out += item.is_string() ? quote_item(item.get<std::string>()) : to_text(item);
  }
  return out + "]";
}

std::string shell_word(const std::string& text) {
  bool plain = !text.empty();
  for (unsigned char c : text) {
    if (!(std::isalnum(c) || c == '_' || c == '-' || c == '.' || c == '/' || c == ':' || c == '=' ||
          c == '+' || c == ',' || c == '@' || c == '%')) {
      plain = false;
      break;
    }
  }
  if (plain) return text;
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

Json input_entry(const std::string& type, Json default_value, const std::string& description) {
  Json e = Json::object();
  e["type"] = type;
  e["default"] = std::move(default_value);
  e["description"] = description;
  return e;
}

std::string ascii_upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

const Json& adv_value(const Json& adv_params, const std::string& name) {
  if (!adv_params.is_object() || !adv_params.contains(name)) throw KeyError("'" + name + "'");
  const Json& entry = adv_params.at(name);
  if (!entry.is_object() || !entry.contains("value")) throw KeyError("'value'");
  return entry.at("value");
}

const Json& input_value(const Json& inputs, const std::string& name) {
  if (!inputs.is_object() || !inputs.contains(name)) throw KeyError("'" + name + "'");
  return inputs.at(name);
}

}  // namespace orvanta
