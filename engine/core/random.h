#pragma once
// The program's own random generator. Every draw of the storm, the thunder and the tours
// comes from here, so a run seeded with the same number repeats itself exactly, whatever
// the libraries in the process do with the C library's generator. Draws are 0..32767, and
// callers take them modulo what they need, one fresh draw each time.
#include <cstdint>

namespace halcyon {

class RandomGenerator {
 public:
  static constexpr int kMax = 32767;

  explicit RandomGenerator(uint32_t seed = 1) : state_(seed) {}
  void seed(uint32_t seed) { state_ = seed; }
  // The next draw, 0..kMax.
  int next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7fffu);
  }

 private:
  uint32_t state_;
};

// The process's one generator, seeded once at start-up.
RandomGenerator& programRandom();
// One draw of it (for the places that take a plain function).
int programRandomDraw();

}  // namespace halcyon
