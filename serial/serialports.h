// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef SERIALPORTS_H
#define SERIALPORTS_H

#include <QList>
#include <QString>

#include <functional>
#include <optional>

// A serial port present on the machine.
struct SerialPortEntry
{
    QString devicePath; // /dev/ttyUSB0
    QString byIdPath; // its /dev/serial/by-id/ link, or empty when it has none
    QString description;
    QString manufacturer;
    QString serialNumber;
    QString vendorProduct; // "0403:6001", or empty when unknown
    QString byPathPath; // its /dev/serial/by-path/ link, or empty when it has none

    // The name to open it by and to remember. A by-id link finds the adapter again in any USB
    // socket and under any ttyUSB number, but two adapters of one make without serial numbers
    // share it: those are named by their socket's by-path link instead.
    QString name() const
    {
        if (!byIdPath.isEmpty() && !serialNumber.isEmpty())
            return byIdPath;
        return byPathPath.isEmpty() ? devicePath : byPathPath;
    }

    friend bool operator==(const SerialPortEntry &, const SerialPortEntry &) = default;
};

// The serial ports present now, in the order of their device paths, numbers by their value.
QList<SerialPortEntry> availableSerialPorts();

// The device that a port number stands for when no other device is named: port 1 is /dev/ttyS0
// on Linux, COM1 on Windows.
QString devicePathForPort(int number);

// A device name as Qt opens it: on Linux a name that is not a path is taken in /dev; on Windows
// a COM name in any case is written COM12.
QString systemLocation(const QString &name);

// Whether a device is there under that name now (a link that leads to it counts).
bool deviceIsPresent(const QString &path);

// A port's name as a user would give it, for the examples in messages: /dev/ttyUSB0, COM3.
QString examplePortName();
// What --port takes, in a sentence for --help.
QString portNamingHelp();

// Linux only. The kernel's name for the tty that path leads to (ttyUSB0), links followed;
// nothing when path leads nowhere. Its folder in /sys/class/tty has that name.
std::optional<QString> ttyName(const QString &path);

// What tells the USB adapter behind path (a link is followed) from another: VID:PID and serial
// number; nothing for a device that has none (a pseudo-terminal, a UART). Tests' list of ports
// stands in for the machine's here too.
std::optional<QString> deviceIdentity(const QString &path);

// What --list-ports prints: one tab-separated line a port, a dash for what it does not tell.
QString portListing(const QList<SerialPortEntry> &ports);

// Tests give their own list of ports; an empty function brings back the machine's. The list
// names each port's links itself, unless the tests give a /dev/serial too.
void setSerialPortSource(std::function<QList<SerialPortEntry>()> source);
// Linux only. Tests give a folder of their own in place of /sys/class/tty, where an adapter's
// identity and latency timer are read; empty text brings it back.
void setSysClassTty(const QString &folder);
// Linux only. Tests give a folder of their own in place of /dev/serial, with by-id and by-path in
// it, whose links then name the ports listed; empty text brings it back.
void setDevSerial(const QString &folder);

#endif // SERIALPORTS_H
