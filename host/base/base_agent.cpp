#include "host/base/base_agent.hpp"

namespace orvanta {

BaseSkill& BaseAgent::register_skill(std::unique_ptr<BaseSkill> skill) {
  skills_.push_back(std::move(skill));
  return *skills_.back();
}

BaseSkill* BaseAgent::find_skill(const std::string& name) const {
  for (const auto& s : skills_)
    if (s->name() == name) return s.get();
  return nullptr;
}

}  // namespace orvanta
