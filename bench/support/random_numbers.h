// A small pseudo-random generator whose numbers are the same on every host
// and library (the standard distributions are not), so generated inputs are
// the same wherever the benchmarks run.
#ifndef RQ47_BENCH_RANDOM_NUMBERS_H
#define RQ47_BENCH_RANDOM_NUMBERS_H

#include <cstddef>
#include <cstdint>

namespace rq47bench {

class RandomNumbers {
 public:
  explicit RandomNumbers(uint64_t seed) : state_(seed) {}

  uint64_t next() {
    uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  // 0 .. n-1 (n > 0).
  size_t below(size_t n) { return static_cast<size_t>(next() % n); }
  bool chance(unsigned percent) { return below(100) < percent; }

 private:
  uint64_t state_;
};

}  // namespace rq47bench

#endif  // RQ47_BENCH_RANDOM_NUMBERS_H
