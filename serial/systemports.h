// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef SYSTEMPORTS_H
#define SYSTEMPORTS_H

#include "serialports.h"

#include <QList>
#include <QString>

#include <optional>

class QSerialPortInfo;

// The system's side of the list of ports and of their names, each system's in
// systemports_<system>.cpp: a device path and udev's links on Linux, a COM name on Windows.

// The name a port found by Qt is opened and listed by.
QString deviceName(const QSerialPortInfo &info);
// Gives the ports the names the system keeps for them besides (Linux: by-id and by-path links),
// for the tests' own list too when they give their own folder of links.
void addSystemNames(QList<SerialPortEntry> &ports, bool fromTests);
// The device a name leads to, links followed, as deviceName gives it; empty when none.
QString canonicalDevice(const QString &path);

// What the USB adapter behind a device tells of itself.
struct UsbIdentity
{
    QString vendorProduct; // "0403:6001"
    QString serialNumber; // empty when it has none
};
std::optional<UsbIdentity> usbIdentity(const QString &device);

// The name of the driver that serves the device (ftdi_sio, FTDIBUS, usbser), or empty when the
// system does not tell.
QString driverName(const QString &device);

// Linux only: /sys/class/tty, or the tests' folder in its place.
QString sysClassTty();

// VID:PID as the port list writes it: "0403:6001".
QString vendorProduct(quint16 vendor, quint16 product);

#endif // SYSTEMPORTS_H
