// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LINESETTINGS_H
#define LINESETTINGS_H

#include <QSerialPort>
#include <QString>

#include <optional>

// The line settings of a port as one text, "baud,parity,data bits,stop bits", e.g. "9600,E,7,2".
struct LineSettings
{
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    friend bool operator==(const LineSettings &, const LineSettings &) = default;
};

// Parity is one of N, E, O, M, S (either case), data bits 5 to 8, stop bits 1, 1.5 or 2, the
// baud rate a whole number from 1 up. Anything else, blanks included, gives no settings.
std::optional<LineSettings> parseLineSettings(const QString &text);

#endif // LINESETTINGS_H
