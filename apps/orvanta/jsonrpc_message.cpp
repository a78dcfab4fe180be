#include "apps/orvanta/jsonrpc_message.hpp"

#include "host/base/json_depth.hpp"

namespace orvanta::app::jsonrpc {
namespace {

bool valid_id(const Json& id) { return id.is_string() || id.is_number_integer(); }

Error invalid(const Json& id, int code, const std::string& text) { return Error{id, code, text}; }

std::variant<Message, Error> check_fields(const Json& m) {
  if (!m.is_object()) return invalid(nullptr, kInvalidRequest, "Invalid request: expected a JSON-RPC 2.0 object.");
  const auto id_it = m.find("id");
  const bool has_id = id_it != m.end();
  const Json reply_id = has_id && valid_id(*id_it) ? *id_it : Json();
  const auto version = m.find("jsonrpc");
  if (version == m.end() || !version->is_string() || version->get_ref<const std::string&>() != "2.0")
    return invalid(reply_id, kInvalidRequest, "Invalid request: expected a JSON-RPC 2.0 object.");

  const auto method = m.find("method");
  if (method == m.end()) {
    // An answer to a request of ours (we send none) is dropped; anything else is malformed.
    if (has_id && (m.contains("result") || m.contains("error"))) return Message{Message::Kind::response, reply_id, "", {}};
    return invalid(reply_id, kInvalidRequest, "Invalid request: a request needs a method.");
  }
  if (!method->is_string()) return invalid(reply_id, kInvalidRequest, "Invalid request: method must be a string.");

  Message out;
  out.method = method->get<std::string>();
  out.kind = has_id ? Message::Kind::request : Message::Kind::notification;
  const auto params = m.find("params");
  const bool params_ok = params == m.end() || params->is_object();
  if (params != m.end() && params->is_object()) out.params = *params;
  if (!has_id) return out;  // notifications are never answered, not even when malformed
  if (!valid_id(*id_it)) return invalid(nullptr, kInvalidRequest, "Invalid request: id must be a string or an integer.");
  if (!params_ok) return invalid(reply_id, kInvalidParams, "Invalid params: params must be an object.");
  out.id = *id_it;
  return out;
}

}  // namespace

std::variant<Message, Error> parse_message(std::string_view line) {
  if (line.size() > kMaxMessageBytes) return oversized_message_error();
  if (!json_nesting_within(line, kMaxNestingDepth))
    return invalid(nullptr, kParseError,
                   "Parse error: the message nests deeper than " + std::to_string(kMaxNestingDepth) + " levels.");
  Json parsed;
  try {
    parsed = Json::parse(line.begin(), line.end());
  } catch (const Json::exception&) {
    return invalid(nullptr, kParseError, "Parse error: the message is not valid JSON.");
  }
  return check_fields(parsed);
}

Error oversized_message_error() {
  return invalid(nullptr, kInvalidRequest,
                 "Invalid request: the message is longer than " + std::to_string(kMaxMessageBytes >> 20) +
                     " MiB; it was discarded.");
}

Json result_message(const Json& id, const Json& result) { return {{"jsonrpc", "2.0"}, {"id", id}, {"result", result}}; }

Json error_message(const Error& error) {
  return {{"jsonrpc", "2.0"}, {"id", error.id}, {"error", {{"code", error.code}, {"message", error.message}}}};
}

Json notification_message(const std::string& method, const Json& params) {
  return {{"jsonrpc", "2.0"}, {"method", method}, {"params", params}};
}

std::string wire_text(const Json& message) { return message.dump(-1, ' ', false, Json::error_handler_t::replace); }

}  // namespace orvanta::app::jsonrpc
