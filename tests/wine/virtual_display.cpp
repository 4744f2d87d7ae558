#include "virtual_display.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace rq47wine {

VirtualDisplay::VirtualDisplay(const std::filesystem::path& xvfb) {
  // Xvfb writes the number of the display it took to this pipe once it serves
  // (-displayfd), so no display number is guessed and none is raced for.
  int ready[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) {
    throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  }
  ::fcntl(ready[1], F_SETFD, 0);  // the write end goes to Xvfb
  Command command;
  command.argv = {xvfb.string(), "-displayfd", std::to_string(ready[1]),
                  "-nolisten",   "tcp",        "-screen",
                  "0",           "1024x768x24"};
  try {
    server_ = std::make_unique<Process>(command);
  } catch (...) {
    ::close(ready[0]);
    ::close(ready[1]);
    throw;
  }
  ::close(ready[1]);

  std::string number;
  constexpr int kStartLimitMs = 30000;
  pollfd wanted{ready[0], POLLIN, 0};
  while (number.empty() || number.back() != '\n') {
    int polled = ::poll(&wanted, 1, kStartLimitMs);
    if (polled < 0 && errno == EINTR) continue;
    char buffer[16];
    ssize_t got = polled > 0 ? ::read(ready[0], buffer, sizeof buffer) : 0;
    if (got <= 0) break;
    number.append(buffer, static_cast<size_t>(got));
  }
  ::close(ready[0]);
  if (number.empty() || number.back() != '\n') {
    CommandResult failed = server_->wait(std::chrono::milliseconds(100));
    throw std::runtime_error("Xvfb did not start a display: " + failed.describe(command) +
                             ". Is Xvfb (Debian package xvfb) installed and working?");
  }
  number.pop_back();
  name_ = ":" + number;
}

VirtualDisplay::~VirtualDisplay() = default;  // the Process kills Xvfb

}  // namespace rq47wine
