#pragma once
// What the host keeps about a case between phase calls, in the case's hidden .orvanta/
// folder, and how a skill is set up for a phase: inputs bound, advanced parameters loaded.

#include "host/base/base_skill.hpp"

#include <optional>
#include <string>

namespace orvanta::app {

// Absolute, normalised, without a trailing separator.
std::string normalized_case_dir(const std::string& path);

// The working directory: KESTRAN_WORK_DIR when set, else the current directory.
std::string work_dir();

// Bound inputs kept for a case (empty object when none yet).
Json load_case_inputs(const std::string& case_dir);
void save_case_inputs(const std::string& case_dir, const Json& inputs);

// Case facts the host records: skill name, prerequisite case, verdicts.
Json load_case_record(const std::string& case_dir);
void save_case_record(const std::string& case_dir, const Json& record);

// Inputs bound for a phase: every static input present (given > kept > default), plus the
// given and kept inputs that are not static (design variables). A "$prereq.<name>" default
// takes that input of the prerequisite case's bound inputs; when the prerequisite has no
// such input (a mesh case has no Mach number), it is taken from `fallback_inputs`, the
// inputs of the newest flow case that ran on the same prerequisite.
Json bind_inputs(const BaseSkill& skill, const Json& kept, const Json& given,
                 const std::optional<std::string>& prereq_case_dir, const Json& fallback_inputs = Json::object());

// Advanced parameters of a skill: the shipped defaults, then the working directory's
// orvanta.json, then the given overrides. Overrides may be plain values or {"value": ...}.
Json load_adv_params(const std::string& skill_name, const Json& overrides);

// Writes the advanced parameters a phase runs with into <case>/.orvanta/advanced_parameters.json:
// case-local scripts read their settings beyond the fixed command lines from there.
void save_case_adv_params(const std::string& case_dir, const Json& adv_params);

// A JSON argument given inline or as @file.
Json parse_json_argument(const std::string& text, const std::string& what);

}  // namespace orvanta::app
