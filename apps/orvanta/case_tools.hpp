#pragma once
// The tool server's tools over the cases of a working directory: one tool per skill, and
// check_case, list_cases, stop_case to follow the runs.

#include "apps/orvanta/case_manager.hpp"
#include "apps/orvanta/tool_backend.hpp"

namespace orvanta::app {

class CaseTools : public ToolBackend {
 public:
  // The tool list reads the design variables through the process-wide geometry model, so it
  // is built here, before any worker thread calls tools.
  explicit CaseTools(CaseManager& cases);

  const Json& tools() const override { return tools_; }
  Json call(const std::string& name, const Json& arguments, const ToolProgress& progress) override;

 private:
  Json build_tool_list();
  Json list_cases() const;
  Json call_skill(const std::string& name, const Json& arguments, const ToolProgress& progress);

  CaseManager& cases_;
  Json tools_;
};

}  // namespace orvanta::app
