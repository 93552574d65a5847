// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lowlatency.h"

// An FTDI adapter's latency timer is a setting of its driver on Windows, made in the Device
// Manager; Pelmar neither changes nor reads it.
void requestLowLatency(QSerialPort &) { }

std::optional<QString> slowAdapterNotice(const QString &)
{
    return std::nullopt;
}

QString latencyReport(QSerialPort &, const QString &)
{
    return QStringLiteral("a setting of the adapter's driver, not read by Pelmar (FTDI: Device "
                          "Manager, the port's Properties, Port Settings, Advanced, Latency "
                          "Timer)");
}
