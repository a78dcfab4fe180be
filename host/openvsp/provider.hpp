#pragma once
// How design-variable operations obtain the geometry API: at the start of their work, never
// when the module loads, so the agent and its skills exist even where no engine is present.

#include "host/openvsp/api.hpp"

#include <functional>
#include <memory>

namespace orvanta::openvsp {

// A provider returns the process-wide API, or throws ImportError when there is none.
using Provider = std::function<OpenVspApi&()>;

// The API for this process; ImportError when no engine is available.
OpenVspApi& obtain_api();

// Replaces the provider (tests install fakes or simulate an absent engine); returns the old one.
Provider set_provider(Provider provider);

// Provider for a process without a geometry engine: obtaining the API fails with the import error.
Provider unavailable_provider();

// Restores a provider when it goes out of scope.
class ScopedProvider {
 public:
  explicit ScopedProvider(Provider p) : previous_(set_provider(std::move(p))) {}
  ~ScopedProvider() { set_provider(std::move(previous_)); }
  ScopedProvider(const ScopedProvider&) = delete;
  ScopedProvider& operator=(const ScopedProvider&) = delete;

 private:
  Provider previous_;
};

}  // namespace orvanta::openvsp
