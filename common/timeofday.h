// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef TIMEOFDAY_H
#define TIMEOFDAY_H

#include "systemclock.h"

#include <QString>
#include <QtGlobal>

#include <functional>

// The moment of a read, taken from two clocks at once: the time of day that the read times are
// specified in, and the monotonic clock, which measures the time between two reads to the
// microsecond whatever the wall clock does meanwhile (a float step, a clock set, a summer time).
struct ReadTime
{
    float timeOfDay = 0; // seconds since local midnight, in single precision
    qint64 monotonicMicroseconds = 0;
};

// Seconds since local midnight, with a fraction, held in single precision like the read times.
float timeOfDay();
ReadTime readTime();

// Tests set the clocks that timeOfDay and readTime read. Set by its time of day alone, the
// monotonic clock follows it to the microsecond; an empty function puts the real clocks back.
void setTimeOfDaySource(std::function<float()> source);
void setReadTimeSource(std::function<ReadTime()> source);
// Tests set the wall clock behind the read times and localTimestamp to moments the system's clock
// is not set to (past 2038, say); an empty function puts the system's clocks back.
void setClockSource(std::function<ClockReading()> source);

// The local date and time now to the microsecond, ISO 8601 with the UTC offset:
// 2026-12-08T21:04:05.123456+01:00.
QString localTimestamp();

#endif // TIMEOFDAY_H
