#pragma once
// Numbers as the .vsp3 format writes them: parameter values as "%.18e", vectors as
// comma-separated lists with a trailing ", ".

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::vsp {

// The whole text must be one number (surrounding blanks allowed); nullopt otherwise.
// Non-finite spellings ("nan", "inf") are numbers here; callers decide whether to accept them.
std::optional<double> parse_number(std::string_view text);

// A list such as "1, 5, 6, " or "0.0, 1.0, 0.0, "; nullopt when an item is not a number.
std::optional<std::vector<double>> parse_number_list(std::string_view text);

// "%.18e", the format of every Value attribute.
std::string value_text(double value);

}  // namespace orvanta::vsp
