// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lowlatency.h"

#include "systemports.h"

#include <QFile>

#include <linux/serial.h>
#include <sys/ioctl.h>

#include <utility>

namespace {

// ftdi_sio's timer with low latency on, and what the udev rule sets.
constexpr int LowLatencyMilliseconds = 1;

std::function<int(int, unsigned long, serial_struct *)> &serialIoctl()
{
    static std::function<int(int, unsigned long, serial_struct *)> current;
    return current;
}

int askDriver(int handle, unsigned long request, serial_struct *serial)
{
    return serialIoctl() ? serialIoctl()(handle, request, serial) : ioctl(handle, request, serial);
}

// The latency timer of the USB adapter behind the tty, in milliseconds.
std::optional<int> latencyTimer(const QString &tty)
{
    const QString folder = sysClassTty();
    QFile file(folder + u'/' + tty + QStringLiteral("/device/latency_timer"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const int milliseconds = file.readLine().trimmed().toInt(&ok);
    return ok ? std::optional(milliseconds) : std::nullopt;
}

} // namespace

void requestLowLatency(QSerialPort &port)
{
    serial_struct serial {};
    if (askDriver(port.handle(), TIOCGSERIAL, &serial) != 0)
        return;
    serial.flags |= ASYNC_LOW_LATENCY;
    askDriver(port.handle(), TIOCSSERIAL, &serial);
}

std::optional<QString> slowAdapterNotice(const QString &devicePath)
{
    const std::optional<QString> tty = ttyName(devicePath);
    if (!tty)
        return std::nullopt;
    const std::optional<int> milliseconds = latencyTimer(*tty);
    if (!milliseconds || *milliseconds <= LowLatencyMilliseconds)
        return std::nullopt;
    return QStringLiteral("the USB adapter of %1 holds received bytes for up to %2 ms (its "
                          "latency timer), so a read can be listed and timed up to %2 ms late. "
                          "Set it to 1 ms: echo 1 | sudo tee /sys/bus/usb-serial/devices/%3/"
                          "latency_timer, or for good with the udev rule "
                          "99-pelmar-ftdi-latency.rules from Pelmar's documentation.")
        .arg(devicePath)
        .arg(*milliseconds)
        .arg(*tty);
}

QString latencyReport(QSerialPort &port, const QString &devicePath)
{
    const std::optional<QString> tty = ttyName(devicePath);
    const std::optional<int> milliseconds = tty ? latencyTimer(*tty) : std::nullopt;
    const QString timer = milliseconds ? QStringLiteral("latency timer %1 ms").arg(*milliseconds)
                                       : QStringLiteral("no latency timer");
    serial_struct serial {};
    if (askDriver(port.handle(), TIOCGSERIAL, &serial) != 0)
        return timer + QStringLiteral("; the driver keeps no low-latency flag");
    return timer
        + (serial.flags & ASYNC_LOW_LATENCY ? QStringLiteral("; low-latency flag set")
                                            : QStringLiteral("; low-latency flag not set"));
}

void setSerialIoctl(std::function<int(int, unsigned long, serial_struct *)> ioctl)
{
    serialIoctl() = std::move(ioctl);
}
