// The system calls the port layer makes on a serial device, behind one small interface so that
// tests can watch or replace them (direction control, draining, exclusive use, restore). Each
// call behaves like the system call it stands for: -1 with errno set on failure.
#pragma once

#include <cstddef>
#include <memory>
#include <sys/types.h>

class TSerialSystem {
public:
    virtual ~TSerialSystem() = default;
    virtual int Open(const char* path, int flags);
    virtual int Close(int fd);
    virtual int Ioctl(int fd, unsigned long request, void* arg);
    virtual ssize_t Read(int fd, void* buffer, size_t count);
    virtual ssize_t Write(int fd, const void* bytes, size_t count);
    virtual int Flock(int fd, int operation);
    // Waits until the driver has sent everything queued (tcdrain).
    virtual int Drain(int fd);

    // The real calls.
    static std::shared_ptr<TSerialSystem> Real();
};
