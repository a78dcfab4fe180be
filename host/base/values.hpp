#pragma once
// Value conversions and number texts shared by every skill.
//
// Inputs, advanced parameters and phase results are ordered JSON (member order is part of
// the contract). The conversions follow what the skills' texts promise the model:
//   - integer conversion truncates reals toward zero and accepts text spelling an integer;
//   - real conversion accepts numbers and numeric text;
//   - truth: null, false, 0, "" and empty containers are false.

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace orvanta {

using Json = nlohmann::ordered_json;

long long to_int(const Json& value);
double to_real(const Json& value);
bool truthy(const Json& value);

// Text of a value as it is written into a command line: strings as they are, integers in
// plain decimal, reals as real-number text, true/false as True/False, null as None.
std::string to_text(const Json& value);

// Shortest decimal text that reads back to the same double, always with a point or an
// exponent: positional for decimal exponents -4..15, else mantissa, "e", sign and at least
// two exponent digits (2 -> "2.0", 1e-05, 1e+16).
std::string real_text(double value);

// General format with six significant digits (2.0 -> "2", 1000000 -> "1e+06").
std::string g_format(double value);

// How a list of texts ends a note: ['a', 'b'].
std::string list_notation(const std::vector<std::string>& items);
std::string list_notation(const Json& items);  // items of any kind, texts quoted

// A word for a shell command line: a plain word stays exactly as it is, anything else is
// single-quoted so the shell sees one literal argument.
std::string shell_word(const std::string& text);

// An input metadata record: exactly "type", "default", "description", in that order.
Json input_entry(const std::string& type, Json default_value, const std::string& description);

// ASCII upper case (names such as optimizers are matched without regard to case).
std::string ascii_upper(std::string text);

// Entry "value" of an advanced parameter; KeyError naming the parameter when absent.
const Json& adv_value(const Json& adv_params, const std::string& name);
// Bound input by name; KeyError naming it when absent.
const Json& input_value(const Json& inputs, const std::string& name);

}  // namespace orvanta
