// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

// parseLineSettings takes any text; what it accepts is a valid setting that reads the same when
// written out again.

#include "linesettings.h"
#include "fuzzinput.h"

#include <algorithm>

namespace {

QString written(const LineSettings &settings)
{
    const char parity = "N?EOSM"[settings.parity];
    const QString stopBits = settings.stopBits == QSerialPort::OneAndHalfStop
        ? QStringLiteral("1.5")
        : QString::number(int(settings.stopBits));
    return QStringLiteral("%1,%2,%3,%4")
        .arg(settings.baudRate)
        .arg(QLatin1Char(parity))
        .arg(int(settings.dataBits))
        .arg(stopBits);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    for (const QString &text : textsFrom(data, size)) {
        const std::optional<LineSettings> settings = parseLineSettings(text);
        if (!settings)
            continue;
        require(settings->baudRate >= 1, "a baud rate from 1 up", text);
        require(settings->dataBits >= QSerialPort::Data5
                    && settings->dataBits <= QSerialPort::Data8,
                "5 to 8 data bits", text);
        require(text.count(u',') == 3 && !text.contains(u' '), "four fields, no blanks", text);
        require(std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128; }),
                "only ASCII letters and digits", text);
        require(parseLineSettings(written(*settings)) == settings, "reads the same written out",
                text);
        require(parseLineSettings(text.toLower()) == settings
                    && parseLineSettings(text.toUpper()) == settings,
                "the parity letter in either case", text);
    }
    return 0;
}
