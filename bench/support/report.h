// The figures a benchmark prints: times, throughputs, and each target as the
// ratio of a subject to its reference with its limit and whether it is met.
//
// A target is judged on processor times, which the other programs of a shared
// machine do not inflate; the wall-clock ratio is printed beside it.
#ifndef RQ47_BENCH_REPORT_H
#define RQ47_BENCH_REPORT_H

#include <cstddef>
#include <string>

#include "rounds.h"

namespace rq47bench {

// "12.3 ms", "1.52 s", "845 us".
std::string FormatSeconds(double seconds);
// Megabytes (10^6 bytes) a second, "245.1 MB/s".
std::string FormatThroughput(size_t bytes, double seconds);
// "61.2 MB".
std::string FormatMegabytes(double bytes);

class Report {
 public:
  // Prints the heading. With judge false (a quick run on tiny inputs, whose
  // ratios mean nothing) the targets are shown but never counted as missed.
  Report(const std::string& title, bool judge);

  // "  label     wall 12.3 ms   cpu 11.9 ms   note"
  void time(const std::string& label, const Sample& median, const std::string& note = "") const;
  // The same with the throughput (of the processor time) as the note.
  void throughput(const std::string& label, const Sample& median, size_t bytes) const;
  void line(const std::string& text) const;

  // Prints subject / reference, of the processor and of the wall-clock
  // times, against the limit; false when the processor-time ratio is above it.
  bool ratio(const std::string& label, const Sample& subject, const Sample& reference, double limit,
             const std::string& referenceName);
  // A ratio worked out already (growth, memory): false when it is above the limit.
  bool limit(const std::string& label, double ratio, double limit, const std::string& what);

  // The same ratios printed for comparison only, with no target.
  void compare(const std::string& label, const Sample& subject, const Sample& reference,
               const std::string& referenceName) const;
  void compare(const std::string& label, double ratio, const std::string& what) const;

  bool allMet() const { return missed_ == 0; }
  int missed() const { return missed_; }

 private:
  bool verdict(bool met);

  bool judge_;
  int missed_ = 0;
};

}  // namespace rq47bench

#endif  // RQ47_BENCH_REPORT_H
