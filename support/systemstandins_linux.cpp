// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "systemstandins.h"

#include "lowlatency.h"
#include "serialports.h"

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

const int SerialDriver::OtherFlags = ASYNC_SKIP_TEST | ASYNC_SPD_HI;
const int SerialDriver::LowLatency = ASYNC_LOW_LATENCY;

SerialDriver::SerialDriver() : flags(OtherFlags)
{
    setSerialIoctl([this](int handle, unsigned long request, serial_struct *serial) {
        if (request == TIOCGSERIAL) {
            *serial = serial_struct {};
            serial->flags = flags;
            serial->xmit_fifo_size = fifoSize;
            return 0;
        }
        flags = serial->flags;
        fifoSize = serial->xmit_fifo_size;
        set << QString::fromLocal8Bit(ttyname(handle));
        return 0;
    });
}

SerialDriver::~SerialDriver()
{
    setSerialIoctl({});
}

bool SerialDriver::present()
{
    return true;
}

bool portsAreDeviceFiles()
{
    return true;
}

bool byteFFMarksParityErrors()
{
    return false;
}

bool displayIsNamedByTheEnvironment()
{
    return true;
}

void useSysClassTty(const QString &folder)
{
    setSysClassTty(folder);
}

void useDevSerial(const QString &folder)
{
    setDevSerial(folder);
}

std::optional<bool> joinsTheConsoleOfItsPrompt(const QString &, const QStringList &,
                                               const std::function<bool()> &)
{
    return std::nullopt;
}
