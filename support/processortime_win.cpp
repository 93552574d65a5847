// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "processortime.h"

#include <windows.h>

double processorMilliseconds()
{
    FILETIME created {};
    FILETIME ended {};
    FILETIME kernel {};
    FILETIME user {};
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user))
        return 0;
    // FILETIME counts 100 ns.
    const auto ticks = [](const FILETIME &time) {
        return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32)
                                   | time.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 10'000.0;
}
