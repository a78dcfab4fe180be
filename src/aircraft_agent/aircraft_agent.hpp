#pragma once
#include "host/base/base_agent.hpp"

namespace orvanta {

// The agent "aircraft": mesh, CFD and optimization skills, in the order of the workflow.
class AircraftAgent : public BaseAgent {
 public:
  AircraftAgent();
};

}  // namespace orvanta
