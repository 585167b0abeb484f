// Kept apart from <termios.h>: the kernel's termios2 headers clash with the C library's.
#include "tests/support/sim/line_speed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace sim {

int ReadLineSpeed(int fd)
{
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return -1;
    return int(t.c_ospeed);
}

bool SetLineSpeed(int fd, int bitsPerSecond)
{
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_cflag &= ~tcflag_t(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = speed_t(bitsPerSecond);
    t.c_ospeed = speed_t(bitsPerSecond);
    return ioctl(fd, TCSETS2, &t) == 0;
}

}  // namespace sim
