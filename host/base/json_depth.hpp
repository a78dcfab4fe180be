#pragma once
// A bound on the nesting of JSON text read from outside (protocol messages, files in a case
// directory). nlohmann::json copies, compares and dumps values recursively, so a document
// nested tens of thousands of levels deep overflows the stack long after it parsed.

#include <string_view>

namespace orvanta {

inline constexpr int kMaxJsonNesting = 256;

// True when no array or object in `text` nests deeper than `limit` levels. Counted on the
// text without parsing it: brackets inside strings (escapes included) do not count.
bool json_nesting_within(std::string_view text, int limit = kMaxJsonNesting);

}  // namespace orvanta
