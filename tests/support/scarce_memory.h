// The memory this test process may take, limited for a while: `more` bytes
// beyond what it holds now, so that code that would fill the computer's
// memory fails at once instead. Not under the address sanitizer, which
// reserves its shadow memory as the process starts and needs more as it runs.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

namespace rq47test {

class ScarceMemory {
 public:
  explicit ScarceMemory(rlim_t more) {
#if !defined(__SANITIZE_ADDRESS__)
    getrlimit(RLIMIT_AS, &previous_);
    std::ifstream statm("/proc/self/statm");
    rlim_t pages = 0;
    statm >> pages;
    rlimit limit = {pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + more,
                    previous_.rlim_max};
    active_ = pages != 0 && setrlimit(RLIMIT_AS, &limit) == 0;
#else
    (void)more;
#endif
  }
  ~ScarceMemory() {
    if (active_) setrlimit(RLIMIT_AS, &previous_);
  }
  ScarceMemory(const ScarceMemory&) = delete;
  ScarceMemory& operator=(const ScarceMemory&) = delete;
  bool active() const { return active_; }

 private:
  rlimit previous_{};
  bool active_ = false;
};

}  // namespace rq47test
