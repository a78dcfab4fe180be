#include "host/openvsp/provider.hpp"

#include "host/base/errors.hpp"

#include <mutex>

namespace orvanta::openvsp {
namespace {

std::mutex& provider_mutex() {
  static std::mutex m;
  return m;
}

Provider& current() {
  // Until the engine registers itself, the API is absent.
  static Provider p = unavailable_provider();
  return p;
}

}  // namespace

Provider unavailable_provider() {
  return []() -> OpenVspApi& { throw ImportError("The OpenVSP geometry API is not available in this process."); };
}

OpenVspApi& obtain_api() {
  Provider p;
  {
    std::lock_guard<std::mutex> lock(provider_mutex());
    p = current();
  }
  return p();
}

Provider set_provider(Provider provider) {
  std::lock_guard<std::mutex> lock(provider_mutex());
  Provider old = std::move(current());
  current() = std::move(provider);
  return old;
}

}  // namespace orvanta::openvsp
