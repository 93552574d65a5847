// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "linesettings.h"

#include <QStringList>

#include <algorithm>
#include <iterator>

namespace {

constexpr struct
{
    char letter;
    QSerialPort::Parity parity;
} Parities[] = {
    {'N', QSerialPort::NoParity},   {'E', QSerialPort::EvenParity},  {'O', QSerialPort::OddParity},
    {'M', QSerialPort::MarkParity}, {'S', QSerialPort::SpaceParity},
};

constexpr struct
{
    const char *text;
    QSerialPort::StopBits stopBits;
} StopBits[] = {
    {"1", QSerialPort::OneStop},
    {"1.5", QSerialPort::OneAndHalfStop},
    {"2", QSerialPort::TwoStop},
};

bool allDigits(const QString &text)
{
    return !text.isEmpty()
        && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

} // namespace

std::optional<LineSettings> parseLineSettings(const QString &text)
{
    const QStringList fields = text.split(u',');
    if (fields.size() != 4 || !allDigits(fields[0]) || !allDigits(fields[2]))
        return std::nullopt;

    LineSettings settings;
    bool ok = false;
    settings.baudRate = fields[0].toInt(&ok);
    if (!ok || settings.baudRate < 1)
        return std::nullopt;

    const auto parity = std::find_if(std::begin(Parities), std::end(Parities), [&](const auto &p) {
        // ASCII case only: Unicode case folding takes the long s for an S.
        return fields[1] == QLatin1Char(p.letter)
            || fields[1] == QLatin1Char(static_cast<char>(p.letter | 0x20));
    });
    if (parity == std::end(Parities))
        return std::nullopt;
    settings.parity = parity->parity;

    const int dataBits = fields[2].toInt();
    if (fields[2].size() != 1 || dataBits < 5 || dataBits > 8)
        return std::nullopt;
    settings.dataBits = static_cast<QSerialPort::DataBits>(dataBits);

    const auto stop = std::find_if(std::begin(StopBits), std::end(StopBits), [&](const auto &s) {
        return fields[3] == QLatin1String(s.text);
    });
    if (stop == std::end(StopBits))
        return std::nullopt;
    settings.stopBits = stop->stopBits;
    return settings;
}
