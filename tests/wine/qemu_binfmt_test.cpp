#include "qemu_binfmt.h"

#include <gtest/gtest.h>

namespace rq47wine {
namespace {

std::string Entry(const char* state, const char* interpreter, const char* flags,
                  const char* magic) {
  return std::string(state) + "\ninterpreter " + interpreter + "\nflags: " + flags +
         "\noffset 0\nmagic " + magic + "\nmask fffffffffffefe00fffffffffffffffffeffffff\n";
}

TEST(QemuBinfmt, TakesOnlyAnEnabledI386EntryOfThatQemuOpenedAtRegistration) {
  const char* i386 = "7f454c4601010100000000000000000002000300";
  const char* x8664 = "7f454c4602010100000000000000000002003e00";
  struct Case {
    std::string entry;
    bool takes;
  } cases[] = {
      {Entry("enabled", "/usr/bin/qemu-i386", "F", i386), true},
      {Entry("enabled", "/usr/bin/qemu-i386", "POCF", i386), true},
      {Entry("disabled", "/usr/bin/qemu-i386", "F", i386), false},
      {Entry("enabled", "/usr/libexec/qemu-binfmt/i386-binfmt-P", "PF", i386), false},
      {Entry("enabled", "/usr/bin/qemu-i386", "", i386), false},
      {Entry("enabled", "/usr/bin/qemu-i386", "F", x8664), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.takes, EntryGivesI386To(c.entry, "/usr/bin/qemu-i386")) << c.entry;
  }
}

}  // namespace
}  // namespace rq47wine
