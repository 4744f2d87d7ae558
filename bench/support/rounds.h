// Repeated measurements taken side by side. The machines that run the
// benchmarks are shared and noisy, so every figure is the median of several
// rounds, and a subject and its reference are measured in the same rounds.
//
// Each run is measured twice over: the wall-clock time, and the processor
// time (user and system) of the work itself. On a machine that other
// programs keep busy, the wall clock also counts the time the work waited
// for a processor, which grows with everything else that runs; the processor
// time does not.
#ifndef RQ47_BENCH_ROUNDS_H
#define RQ47_BENCH_ROUNDS_H

#include <functional>
#include <string>
#include <vector>

namespace rq47bench {

struct Sample {
  double wall = 0;  // seconds of the wall clock
  double cpu = 0;   // seconds of processor time, user and system
};

// Measures this process from its making to elapsed().
class Stopwatch {
 public:
  Stopwatch();
  Sample elapsed() const;

 private:
  double wall_;
  double cpu_;
};

// The middle value (the mean of the two middle ones for an even count).
// Throws std::invalid_argument for no values.
double Median(std::vector<double> values);

struct Measure {
  std::string name;
  // One run of what is measured (any preparation it does before or after is
  // not counted).
  std::function<Sample()> once;
  std::vector<Sample> samples;  // one per round

  // The medians of the wall-clock and of the processor times, each on its own.
  Sample median() const;
};

// Runs every measure once to warm the caches (not kept), then `rounds`
// rounds in which each runs once. The order turns around from one round to
// the next, so a busy spell of the machine weighs on all of them alike.
void RunRounds(const std::vector<Measure*>& measures, int rounds);

}  // namespace rq47bench

#endif  // RQ47_BENCH_ROUNDS_H
