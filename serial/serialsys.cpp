#include "serial/serialsys.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

int TSerialSystem::Open(const char* path, int flags) { return ::open(path, flags); }

int TSerialSystem::Close(int fd) { return ::close(fd); }

int TSerialSystem::Ioctl(int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); }

ssize_t TSerialSystem::Read(int fd, void* buffer, size_t count) { return ::read(fd, buffer, count); }

ssize_t TSerialSystem::Write(int fd, const void* bytes, size_t count) { return ::write(fd, bytes, count); }

int TSerialSystem::Flock(int fd, int operation) { return ::flock(fd, operation); }

int TSerialSystem::Drain(int fd) { return ::tcdrain(fd); }

std::shared_ptr<TSerialSystem> TSerialSystem::Real()
{
    static const auto real = std::make_shared<TSerialSystem>();
    return real;
}
