#pragma once
// File names and case paths end up inside generated pages; they must never become markup.

#include <string>

namespace orvanta::viewers {

// Text safe inside an element or a double- or single-quoted attribute.
std::string html_escape(const std::string& text);

}  // namespace orvanta::viewers
