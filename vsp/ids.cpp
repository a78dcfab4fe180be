#include "vsp/ids.hpp"

#include <random>

namespace orvanta::vsp {

std::string random_id(int length) {
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  std::uniform_int_distribution<int> letter(0, 25);
  std::string id;
  id.reserve(length);
  for (int i = 0; i < length; ++i) id += static_cast<char>('A' + letter(rng));
  return id;
}

std::string new_container_id() { return random_id(10); }
std::string new_parm_id() { return random_id(11); }

}  // namespace orvanta::vsp
