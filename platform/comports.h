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
