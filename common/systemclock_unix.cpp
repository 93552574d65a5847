#include "systemclock.h"

#include <ctime>

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
