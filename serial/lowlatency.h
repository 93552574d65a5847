// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LOWLATENCY_H
#define LOWLATENCY_H

#include <QSerialPort>
#include <QString>

#include <functional>
#include <optional>

struct serial_struct;

// Asks the driver of an open serial device to hand over received bytes at once. FTDI adapters
// otherwise hold them for their latency timer, 16 ms by default, and every read time would be
// late by up to that much; with the request ftdi_sio sets the timer to 1 ms. Drivers without the
// setting (pseudo-terminals, most other adapters) refuse it, which changes nothing. On Windows
// the timer is a setting of the driver that a program does not change: nothing is asked there.
void requestLowLatency(QSerialPort &port);

// What the latency timer of the USB adapter behind devicePath (a link such as
// /dev/serial/by-id/... is followed) costs the user, and how to set it, when it holds received
// bytes for more than 1 ms; nothing for a timer at 1 ms, a device without one, and on Windows,
// where Pelmar cannot read it.
std::optional<QString> slowAdapterNotice(const QString &devicePath);

// For a report of the open port: the adapter's latency timer and whether its driver was given
// low latency, as far as the system tells.
QString latencyReport(QSerialPort &port, const QString &devicePath);

// Linux only. Tests stand in for the driver's TIOCGSERIAL and TIOCSSERIAL, which a pseudo-terminal
// refuses; an empty function brings back ioctl.
void setSerialIoctl(std::function<int(int handle, unsigned long request, serial_struct *)> ioctl);

#endif // LOWLATENCY_H
