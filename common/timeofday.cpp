#include "timeofday.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>

namespace {

std::function<ReadTime()> &source()
{
    static std::function<ReadTime()> current;
    return current;
}

// The wall clock is read to the nanosecond: the single-precision result, not the clock, is what
// limits the precision of a read time. The monotonic clock is read right after it, so that both
// stand for one moment.
ReadTime clockReadTime()
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    timespec monotonic {};
    clock_gettime(CLOCK_MONOTONIC, &monotonic);
    tm local {};
    localtime_r(&now.tv_sec, &local);
    const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
    return {static_cast<float>(seconds + now.tv_nsec / 1e9),
            qint64(monotonic.tv_sec) * 1'000'000 + monotonic.tv_nsec / 1000};
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

QString localTimestamp()
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local {};
    localtime_r(&now.tv_sec, &local);
    const long offsetMinutes = std::labs(local.tm_gmtoff) / 60;
    char text[128];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06ld%c%02ld:%02ld",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, now.tv_nsec / 1000, local.tm_gmtoff < 0 ? '-' : '+',
                  offsetMinutes / 60, offsetMinutes % 60);
    return QString::fromLatin1(text);
}
