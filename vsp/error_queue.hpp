#pragma once
// The engine's error record: read, write, update and export failures wait here until the
// caller drains them, like the error stack of OpenVSP's scripting interface. A successful
// call never clears earlier entries.

#include <string>
#include <utility>
#include <vector>

namespace orvanta::vsp {

enum class ErrorCode {
  kReadFailure = 1,    // file missing, not XML, not a model, bad content
  kWriteFailure = 2,   // model could not be saved
  kExportFailure = 3,  // STL could not be produced or saved
  kUpdateFailure = 4,  // parameters that give no valid geometry
  kInvalidValue = 5,   // a parameter id or value the engine refuses
};

struct EngineError {
  ErrorCode code;
  std::string text;
};

class ErrorQueue {
 public:
  void push(ErrorCode code, std::string text) { errors_.push_back({code, std::move(text)}); }
  int size() const { return static_cast<int>(errors_.size()); }
  bool empty() const { return errors_.empty(); }
  const std::vector<EngineError>& entries() const { return errors_; }
  std::vector<EngineError> pop_all() { return std::exchange(errors_, {}); }

 private:
  std::vector<EngineError> errors_;
};

}  // namespace orvanta::vsp
