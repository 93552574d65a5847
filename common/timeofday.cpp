#include "timeofday.h"

#include <ctime>

namespace {

std::function<float()> &source()
{
    static std::function<float()> current;
    return current;
}

// Read from the wall clock to the nanosecond: the single-precision result, not the clock, is
// what limits the precision of a read time.
float clockTimeOfDay()
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local {};
    localtime_r(&now.tv_sec, &local);
    const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
    return float(seconds + now.tv_nsec / 1e9);
}

} // namespace

float timeOfDay()
{
    return source() ? source()() : clockTimeOfDay();
}

void setTimeOfDaySource(std::function<float()> newSource)
{
    source() = std::move(newSource);
}
