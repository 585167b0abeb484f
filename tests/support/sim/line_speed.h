// Line speed of a tty in plain bits per second, including rates without a B-constant
// (14400, 28800), which are set and read through the kernel's termios2 interface.
#pragma once

namespace sim {

// Output speed set on the tty of fd (for a pty master: the speed set on its slave); -1 on failure.
int ReadLineSpeed(int fd);
// Sets both speeds of the tty to bitsPerSecond, leaving the other settings; false on failure.
bool SetLineSpeed(int fd, int bitsPerSecond);

}  // namespace sim
