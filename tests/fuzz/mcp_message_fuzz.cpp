// libFuzzer target for the tool server's message handling: any bytes, split into lines, go
// to the protocol server in front of a stand-in tool backend. Every answer must be one
// JSON object on one line, and no input may crash or hang the server.

#include "apps/orvanta/mcp_server.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

class EchoTools : public orvanta::app::ToolBackend {
 public:
  const orvanta::Json& tools() const override { return tools_; }
  orvanta::Json call(const std::string& name, const orvanta::Json& arguments,
                     const orvanta::app::ToolProgress& progress) override {
    if (progress) progress(1, 2, "half way");
    if (name == "fail") throw std::runtime_error("stand-in failure");
    return {{"content", orvanta::Json::array({{{"type", "text"}, {"text", arguments.dump()}}})}, {"isError", false}};
  }

 private:
  orvanta::Json tools_ = orvanta::Json::parse(R"([{"name":"echo"},{"name":"fail"}])");
};

void check_answer(const std::string& line) {
  if (line.find('\n') != std::string::npos) std::abort();
  const auto answer = orvanta::Json::parse(line, nullptr, false);
  if (!answer.is_object() || answer.value("jsonrpc", "") != "2.0") std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static EchoTools tools;
  static orvanta::app::McpServer server(tools, check_answer);
  const std::string input(reinterpret_cast<const char*>(bytes), size);
  std::size_t start = 0;
  while (start <= input.size()) {
    const std::size_t end = std::min(input.find('\n', start), input.size());
    server.handle_line(input.substr(start, end - start));
    start = end + 1;
  }
  server.drain();
  return 0;
}
