// COM port numbers mapped to serial devices: the one resolver that everything opening or
// probing a port uses.
//
// COMPORT_MAP ("1=/dev/ttyUSB0;2=/tmp/vcom0"), when set, is the whole map. Otherwise the real
// serial devices under /sys/class/tty are numbered from 1: ttyS ports that have a UART, then
// ttyUSB, then ttyACM. The system console is never offered.
#pragma once

#include <QList>
#include <QMap>
#include <QString>

// Device path of COM port n, empty when n is not mapped.
QString ComPortPath(int n);

// The numbers that are mapped, ascending.
QList<int> AvailableComPorts();

// Whether COM port n is mapped and can be held exclusively right now (the start-up probe);
// nothing is left open.
bool ComPortFree(int n);

// The whole map (number -> device path).
QMap<int, QString> ComPortMap();

// Parses a COMPORT_MAP value; entries that are not "number=path" with a number of 1 to 256
// are skipped.
QMap<int, QString> ParseComPortMap(const QString& text);

// Scans a sysfs tty class folder (normally /sys/class/tty) for serial devices, skipping the
// consoles named in its console/active file; returns the numbered map.
QMap<int, QString> ScanSerialDevices(const QString& sysClassTty, const QString& devDir = QStringLiteral("/dev"));

// ---- Who owns a port ----------------------------------------------------------------------
// A port is free only when no live UUCP lock file names it and nobody holds its flock; both are
// checked before the device is opened, since opening a serial device already moves its modem
// lines. The system console is never a port.

// Whether the path is the system console or a virtual terminal: /dev/console, /dev/tty,
// /dev/tty0 to /dev/tty63, or a device named in the tty class's console/active file.
bool IsSystemConsole(const QString& path, const QString& sysClassTty = QStringLiteral("/sys/class/tty"));

// Folders searched for UUCP lock files: COMPORT_LOCKDIR when set (the only one then), else
// /run/lock and /var/lock. Ours is written into the first of them that takes it.
QStringList ComPortLockDirs();

// "LCK..ttyUSB0" for /dev/ttyUSB0 (symbolic links resolved; below /dev, '/' becomes '_').
QString ComPortLockName(const QString& devicePath);

// The pid of a live process whose lock file names the device, -1 for a lock that names no
// process yet (just created, still being written), 0 when there is none. A lock of a process
// that no longer exists is removed, and so is one that stayed without a pid.
int ComPortLockOwner(const QString& devicePath);

// Writes our lock file for the device. Returns its path, or "" when no lock folder takes it
// (then the port goes without one). A live lock of another process wins: "" and *owner set
// (-1 when that lock names no process yet).
QString CreateComPortLock(const QString& devicePath, int* owner = nullptr);

// Removes our own lock file (only when it still names this process).
void RemoveComPortLock(const QString& lockPath);

// The pid holding a flock on the device (as the kernel lists it), 0 when none.
int ComPortFlockOwner(const QString& devicePath);

// Who the device's permission bits let open it: the owning user and group by name ("" when the
// device cannot be read), and whether the group's bits give both read and write.
struct DeviceOwners {
    QString user;
    QString group;
    bool groupReadWrite = false;
};
DeviceOwners DeviceOwnership(const QString& devicePath);


// The name of a running process ("minicom"), "" when unknown.
QString ProcessName(int pid);
