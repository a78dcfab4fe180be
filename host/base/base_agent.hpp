#pragma once
// An agent: a name and its skills in registration order.

#include "host/base/base_skill.hpp"

#include <memory>
#include <string>
#include <vector>

namespace orvanta {

class BaseAgent {
 public:
  explicit BaseAgent(std::string name) : name_(std::move(name)) {}
  virtual ~BaseAgent() = default;

  const std::string& name() const { return name_; }
  BaseSkill& register_skill(std::unique_ptr<BaseSkill> skill);
  const std::vector<std::unique_ptr<BaseSkill>>& skills() const { return skills_; }
  // The skill of that name, or nullptr.
  BaseSkill* find_skill(const std::string& name) const;

 private:
  std::string name_;
  std::vector<std::unique_ptr<BaseSkill>> skills_;
};

}  // namespace orvanta
