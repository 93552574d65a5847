// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef SYSTEMCLOCK_H
#define SYSTEMCLOCK_H

#include <QtGlobal>

// The system's clocks as the time of day needs them, each system's in systemclock_<system>.cpp.

// The wall clock and the monotonic clock, read one right after the other so that both stand for
// one moment. The wall clock is read to the best the system gives: the single-precision time of
// day, not the clock, is what limits the precision of a read time.
struct ClockReading
{
    qint64 secondsSinceEpoch = 0;
    qint64 nanoseconds = 0; // within that second
    qint64 monotonicMicroseconds = 0;
};
ClockReading readClocks();

// A moment of the wall clock in local time, with the offset from UTC in force then.
struct LocalTime
{
    int year = 0;
    int month = 0; // 1 to 12
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    long utcOffsetSeconds = 0;
};
LocalTime localTime(qint64 secondsSinceEpoch);

#endif // SYSTEMCLOCK_H
