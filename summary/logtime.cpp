// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "logtime.h"

#include <array>
#include <cstdlib>
#include <utility>

namespace {

constexpr qint64 MicrosecondsPerSecond = 1'000'000;
constexpr qint64 SecondsPerDay = 86'400;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar, by Howard Hinnant's
// days_from_civil.
qint64 daysFromCivil(qint64 year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const qint64 era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<qint64>(dayOfEra) - 719468;
}

struct CivilDate
{
    qint64 year;
    unsigned month;
    unsigned day;
};

CivilDate civilFromDays(qint64 days)
{
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra
        = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthPart = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * monthPart + 2) / 5 + 1;
    const unsigned month = monthPart < 10 ? monthPart + 3 : monthPart - 9;
    return {static_cast<qint64>(yearOfEra) + era * 400 + (month <= 2), month, day};
}

// The digits of cell from at, count of them; -1 when one is not a digit.
qint64 digits(QByteArrayView cell, qsizetype at, qsizetype count)
{
    qint64 value = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        const char c = cell.at(i);
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

qint64 floorDivide(qint64 value, qint64 divisor)
{
    return value / divisor - (value % divisor < 0 ? 1 : 0);
}

QString twoDigits(qint64 value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

std::optional<LogTime> parseLogTime(QByteArrayView cell)
{
    // 2026-12-08T21:04:05.123456+01:00
    constexpr qsizetype Length = 32;
    if (cell.size() != Length)
        return std::nullopt;
    for (const auto &[at, separator] : std::array<std::pair<qsizetype, char>, 6> {
             {{4, '-'}, {7, '-'}, {10, 'T'}, {13, ':'}, {16, ':'}, {19, '.'}}}) {
        if (cell.at(at) != separator)
            return std::nullopt;
    }
    const char sign = cell.at(26);
    if ((sign != '+' && sign != '-') || cell.at(29) != ':')
        return std::nullopt;
    const qint64 year = digits(cell, 0, 4);
    const qint64 month = digits(cell, 5, 2);
    const qint64 day = digits(cell, 8, 2);
    const qint64 hour = digits(cell, 11, 2);
    const qint64 minute = digits(cell, 14, 2);
    const qint64 second = digits(cell, 17, 2);
    const qint64 fraction = digits(cell, 20, 6);
    const qint64 offsetHours = digits(cell, 27, 2);
    const qint64 offsetMinutes = digits(cell, 30, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23
        || minute < 0 || minute > 59 || second < 0 || second > 60 || fraction < 0 || offsetHours < 0
        || offsetHours > 23 || offsetMinutes < 0 || offsetMinutes > 59)
        return std::nullopt;
    const int offset
        = static_cast<int>((offsetHours * 60 + offsetMinutes) * 60) * (sign == '-' ? -1 : 1);
    const qint64 localSeconds
        = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day))
            * SecondsPerDay
        + hour * 3600 + minute * 60 + second;
    return LogTime {(localSeconds - offset) * MicrosecondsPerSecond + fraction, offset};
}

QString dateAndTime(const LogTime &time)
{
    const qint64 local = time.localMicroseconds();
    const CivilDate date = civilFromDays(floorDivide(local, SecondsPerDay * MicrosecondsPerSecond));
    return QStringLiteral("%1-%2-%3 %4")
        .arg(date.year, 4, 10, QLatin1Char('0'))
        .arg(twoDigits(date.month), twoDigits(date.day), clockTime(local));
}

QString logTimeText(const LogTime &time)
{
    const qint64 local = time.localMicroseconds();
    const qint64 microseconds
        = local - floorDivide(local, MicrosecondsPerSecond) * MicrosecondsPerSecond;
    return dateAndTime(time).replace(u' ', u'T') + u'.'
        + QStringLiteral("%1").arg(microseconds, 6, 10, QLatin1Char('0')) + utcOffset(time);
}

QString utcOffset(const LogTime &time)
{
    const int minutes = std::abs(time.offsetSeconds) / 60;
    return (time.offsetSeconds < 0 ? QStringLiteral("-") : QStringLiteral("+"))
        + twoDigits(minutes / 60) + u':' + twoDigits(minutes % 60);
}

QString timeOfDay(const LogTime &time)
{
    const qint64 local = time.localMicroseconds();
    const qint64 milliseconds = floorDivide(local, 1000) % 1000;
    return clockTime(local) + u'.'
        + QStringLiteral("%1").arg((milliseconds + 1000) % 1000, 3, 10, QLatin1Char('0'));
}

QString clockTime(qint64 localMicroseconds)
{
    const qint64 seconds = floorDivide(localMicroseconds, MicrosecondsPerSecond);
    const qint64 ofDay = seconds - floorDivide(seconds, SecondsPerDay) * SecondsPerDay;
    return twoDigits(ofDay / 3600) + u':' + twoDigits(ofDay / 60 % 60) + u':'
        + twoDigits(ofDay % 60);
}
