#include "engine/core/random.h"

namespace halcyon {

RandomGenerator& programRandom() {
  static RandomGenerator generator;
  return generator;
}

int programRandomDraw() { return programRandom().next(); }

}  // namespace halcyon
