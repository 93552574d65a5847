#ifndef TIMEOFDAY_H
#define TIMEOFDAY_H

#include <QString>

#include <functional>

// Seconds since local midnight, with a fraction, held in single precision like the read times.
float timeOfDay();

// Tests set the clock that timeOfDay reads; an empty function puts the real clock back.
void setTimeOfDaySource(std::function<float()> source);

// The local date and time now to the microsecond, ISO 8601 with the UTC offset:
// 2026-12-08T21:04:05.123456+01:00.
QString localTimestamp();

#endif // TIMEOFDAY_H
