#include "rounds.h"

#include <time.h>

#include <algorithm>
#include <stdexcept>

namespace rq47bench {
namespace {

double Clock(clockid_t clock) {
  struct timespec now {};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

Stopwatch::Stopwatch() : wall_(Clock(CLOCK_MONOTONIC)), cpu_(Clock(CLOCK_PROCESS_CPUTIME_ID)) {}

Sample Stopwatch::elapsed() const {
  return Sample{Clock(CLOCK_MONOTONIC) - wall_, Clock(CLOCK_PROCESS_CPUTIME_ID) - cpu_};
}

double Median(std::vector<double> values) {
  if (values.empty()) throw std::invalid_argument("the median of no values");
  size_t middle = values.size() / 2;
  auto at = values.begin() + static_cast<std::ptrdiff_t>(middle);
  std::nth_element(values.begin(), at, values.end());
  double upper = *at;
  if (values.size() % 2 == 1) return upper;
  double lower = *std::max_element(values.begin(), at);
  return (lower + upper) / 2;
}

Sample Measure::median() const {
  std::vector<double> wall;
  std::vector<double> cpu;
  for (const Sample& sample : samples) {
    wall.push_back(sample.wall);
    cpu.push_back(sample.cpu);
  }
  return Sample{Median(wall), Median(cpu)};
}

void RunRounds(const std::vector<Measure*>& measures, int rounds) {
  for (Measure* measure : measures) measure->once();
  for (int round = 0; round < rounds; ++round) {
    std::vector<Measure*> order = measures;
    if (round % 2 == 1) std::reverse(order.begin(), order.end());
    for (Measure* measure : order) measure->samples.push_back(measure->once());
  }
}

}  // namespace rq47bench
