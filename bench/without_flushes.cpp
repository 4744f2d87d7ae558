// Starts a program whose calls that flush files to disk (fsync, fdatasync,
// syncfs, sync, sync_file_range) return at once as done, so that a benchmark
// can tell what a run's flushes cost beside the rest of it:
//
//   bench_without_flushes PROGRAM [ARGUMENT...]
//
// For measuring only: what such a run writes does not last through a host
// crash, which is the very thing the flushes are for.
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#if defined(__x86_64__)
constexpr unsigned kArchitecture = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr unsigned kArchitecture = AUDIT_ARCH_AARCH64;
#else
#error "bench_without_flushes knows the system calls of x86_64 and aarch64 only"
#endif

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_without_flushes PROGRAM [ARGUMENT...]\n");
    return 2;
  }
  // Calls of another architecture's numbering pass as they are; each flush
  // call of this one gets the answer 0 (SECCOMP_RET_ERRNO with no error).
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArchitecture, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_fsync, 5, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_fdatasync, 4, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_syncfs, 3, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_sync, 2, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_sync_file_range, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | 0),
  };
  sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
    std::fprintf(stderr, "bench_without_flushes: cannot install the filter of flush calls: %s\n",
                 std::strerror(errno));
    return 1;
  }
  ::execv(argv[1], argv + 1);
  std::fprintf(stderr, "bench_without_flushes: cannot start %s: %s\n", argv[1],
               std::strerror(errno));
  return 127;
}
