// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "openerror.h"

#include "serialports.h"

#include <QString>

RunTimeError openError(const QSerialPort &port, const QString &path)
{
    const QString reason = port.errorString();
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return RunTimeError(
            RunTimeError::PortInvalid,
            QStringLiteral("The serial port %1 does not exist. Plug the scanner in, or name "
                           "its device (for example pelmar --port %2).")
                .arg(path, examplePortName()));
    case QSerialPort::PermissionError:
        return permissionError(path, reason);
    default:
        return RunTimeError(
            RunTimeError::PortInvalid,
            QStringLiteral("The serial port %1 could not be opened (%2).").arg(path, reason));
    }
}
