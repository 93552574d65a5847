// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "systemclock.h"

#include <ctime>

#include <windows.h>

namespace {

// FILETIME counts 100 ns from 1601; the Unix epoch is this many of them later.
constexpr qint64 EpochInFileTime = 116'444'736'000'000'000;

} // namespace

// GetSystemTimeAsFileTime moves in steps of up to 15.6 ms, a read time's error many times over;
// the precise clock is to a tenth of a microsecond.
ClockReading readClocks()
{
    FILETIME now {};
    GetSystemTimePreciseAsFileTime(&now);
    LARGE_INTEGER counter {};
    QueryPerformanceCounter(&counter);
    static const qint64 frequency = [] {
        LARGE_INTEGER perSecond {};
        QueryPerformanceFrequency(&perSecond);
        return perSecond.QuadPart;
    }();
    const qint64 ticks = ((qint64(now.dwHighDateTime) << 32) | now.dwLowDateTime) - EpochInFileTime;
    const qint64 monotonic = counter.QuadPart / frequency * 1'000'000
        + counter.QuadPart % frequency * 1'000'000 / frequency;
    return {ticks / 10'000'000, ticks % 10'000'000 * 100, monotonic};
}

LocalTime localTime(qint64 secondsSinceEpoch)
{
    const time_t seconds = secondsSinceEpoch;
    tm local {};
    localtime_s(&local, &seconds);
    // The local fields read as if they were UTC, less the moment itself, is the offset.
    tm asUtc = local;
    const long offset = static_cast<long>(_mkgmtime(&asUtc) - seconds);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
            local.tm_min,         local.tm_sec,     offset};
}
