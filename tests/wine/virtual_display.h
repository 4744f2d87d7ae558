// An X display of its own for the message boxes of programs under Wine: Xvfb
// on a display number that it chooses itself, ended with the object.
#ifndef RQ47_WINE_VIRTUAL_DISPLAY_H
#define RQ47_WINE_VIRTUAL_DISPLAY_H

#include <filesystem>
#include <memory>
#include <string>

#include "command.h"

namespace rq47wine {

class VirtualDisplay {
 public:
  // Starts Xvfb and waits until it serves. Throws std::runtime_error saying
  // what failed when it does not start.
  explicit VirtualDisplay(const std::filesystem::path& xvfb);
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // ":N", the value for DISPLAY.
  const std::string& name() const { return name_; }

 private:
  std::unique_ptr<Process> server_;
  std::string name_;
};

}  // namespace rq47wine

#endif  // RQ47_WINE_VIRTUAL_DISPLAY_H
