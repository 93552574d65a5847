// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "systemclock.h"

#include <ctime>

// A 32-bit time_t ends on 19 January 2038, and with it the wall clock and localtime_r: the build
// asks a 32-bit system's C library for the 64-bit one.
static_assert(sizeof(time_t) >= 8, "time_t must hold moments past 2038");

ClockReading readClocks()
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    timespec monotonic {};
    clock_gettime(CLOCK_MONOTONIC, &monotonic);
    return {now.tv_sec, now.tv_nsec,
            qint64(monotonic.tv_sec) * 1'000'000 + monotonic.tv_nsec / 1000};
}

LocalTime localTime(qint64 secondsSinceEpoch)
{
    const time_t seconds = secondsSinceEpoch;
    tm local {};
    localtime_r(&seconds, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,  local.tm_hour,
            local.tm_min,         local.tm_sec,     local.tm_gmtoff};
}
