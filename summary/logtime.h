// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LOGTIME_H
#define LOGTIME_H

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>

// A time as the log writes it, 2026-12-08T21:04:05.123456+01:00: the moment, and the offset of
// the local time it was written in.
struct LogTime
{
    qint64 utcMicroseconds = 0; // since 1970-01-01T00:00:00Z
    int offsetSeconds = 0;

    qint64 localMicroseconds() const { return utcMicroseconds + qint64(offsetSeconds) * 1'000'000; }
};

// Nothing for a cell that is not such a time.
std::optional<LogTime> parseLogTime(QByteArrayView cell);

// As the log writes it.
QString logTimeText(const LogTime &time);
// "2026-12-08 21:04:05" and its offset, "+01:00", as written.
QString dateAndTime(const LogTime &time);
QString utcOffset(const LogTime &time);
// "21:04:05.123", to the millisecond.
QString timeOfDay(const LogTime &time);
// "21:04:05" of local microseconds, as the chart's axis shows them.
QString clockTime(qint64 localMicroseconds);

#endif // LOGTIME_H
