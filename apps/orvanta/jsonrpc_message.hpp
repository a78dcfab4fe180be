#pragma once
// JSON-RPC 2.0 messages as the tool server receives them: one line of text in, either a
// well-typed message or the error answer it deserves. Nothing here trusts the sender: every
// field is type-checked, nesting and size are bounded, and no input makes it throw.

#include "host/base/json_depth.hpp"
#include "host/base/values.hpp"

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

namespace orvanta::app::jsonrpc {

inline constexpr int kParseError = -32700;
inline constexpr int kInvalidRequest = -32600;
inline constexpr int kMethodNotFound = -32601;
inline constexpr int kInvalidParams = -32602;
inline constexpr int kInternalError = -32603;

// Deeper documents are refused before anything walks them recursively (copies and dumps
// of nlohmann::json recurse, so 50,000 levels would overflow the stack).
inline constexpr int kMaxNestingDepth = kMaxJsonNesting;
// Longer lines are refused whole; the reader discards them without keeping them in memory.
inline constexpr std::size_t kMaxMessageBytes = 16u << 20;

struct Message {
  enum class Kind { request, notification, response };
  Kind kind = Kind::request;
  Json id;                        // requests: a string or an integer
  std::string method;             // requests and notifications
  Json params = Json::object();   // always an object (absent params read as {})
};

struct Error {
  Json id;  // null when the message's id could not be read
  int code = kInvalidRequest;
  std::string message;
};

// Parses and checks one line. Never throws.
std::variant<Message, Error> parse_message(std::string_view line);

// The error answer for a line longer than kMaxMessageBytes.
Error oversized_message_error();

// Whole JSON-RPC answers, ready to send.
Json result_message(const Json& id, const Json& result);
Json error_message(const Error& error);
Json notification_message(const std::string& method, const Json& params);

// The text of a message on the wire: one line, invalid UTF-8 replaced, no newline inside.
std::string wire_text(const Json& message);

}  // namespace orvanta::app::jsonrpc
