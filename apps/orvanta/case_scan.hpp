#pragma once
// The cases of a working directory, as their records describe them. A folder that holds
// .orvanta/case.json but is not a usable case (a name that is no case name, a record or
// inputs file that does not parse, record fields of the wrong type) is skipped and
// reported, so one stray folder cannot stop listing or starting the others.

#include "host/base/values.hpp"

#include <optional>
#include <string>
#include <vector>

namespace orvanta::app {

struct CaseEntry {
  std::string name, dir, skill, state;
  double created_at = 0;
  std::optional<std::string> prereq_case;
  Json verdict_status;  // the stored verdict's status; null before the analysis
};

struct SkippedEntry {
  std::string name, reason;
};

struct CaseScan {
  std::vector<CaseEntry> cases;  // oldest first
  std::vector<SkippedEntry> skipped;
};

CaseScan scan_cases(const std::string& work_dir);

// What is wrong with the field types of a case record, empty when nothing: skill must be
// a non-empty text, state a text, created_at a number, prereq_case a text or null,
// adv_overrides an object or null, verdict an object.
std::string case_record_problem(const Json& record);

// A case name must be one plain path component: letters, digits, '.', '_', '-', starting
// with neither '.' nor '-' (it would read as an option on a command line); ValueError otherwise.
void validate_case_name(const std::string& name);

}  // namespace orvanta::app
