// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "timeofday.h"

#include "systemclock.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

std::function<ReadTime()> &source()
{
    static std::function<ReadTime()> current;
    return current;
}

std::function<ClockReading()> &clockSource()
{
    static std::function<ClockReading()> current;
    return current;
}

ClockReading clockNow()
{
    return clockSource() ? clockSource()() : readClocks();
}

ReadTime clockReadTime()
{
    const ClockReading now = clockNow();
    const LocalTime local = localTime(now.secondsSinceEpoch);
    const double seconds = local.hour * 3600.0 + local.minute * 60.0 + local.second;
    return {static_cast<float>(seconds + now.nanoseconds / 1e9), now.monotonicMicroseconds};
}

} // namespace

float timeOfDay()
{
    return readTime().timeOfDay;
}

ReadTime readTime()
{
    return source() ? source()() : clockReadTime();
}

void setTimeOfDaySource(std::function<float()> newSource)
{
    if (!newSource) {
        setReadTimeSource({});
        return;
    }
    setReadTimeSource([timeOfDay = std::move(newSource)] {
        const float now = timeOfDay();
        return ReadTime {now, std::llround(static_cast<double>(now) * 1e6)};
    });
}

void setReadTimeSource(std::function<ReadTime()> newSource)
{
    source() = std::move(newSource);
}

void setClockSource(std::function<ClockReading()> newSource)
{
    clockSource() = std::move(newSource);
}

QString localTimestamp()
{
    const ClockReading now = clockNow();
    const LocalTime local = localTime(now.secondsSinceEpoch);
    const long offsetMinutes = std::labs(local.utcOffsetSeconds) / 60;
    char text[128];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06lld%c%02ld:%02ld",
                  local.year, local.month, local.day, local.hour, local.minute, local.second,
                  now.nanoseconds / 1000, local.utcOffsetSeconds < 0 ? '-' : '+',
                  offsetMinutes / 60, offsetMinutes % 60);
    return QString::fromLatin1(text);
}
