#include "timeofday.h"

#include <QTime>

namespace {

std::function<float()> &source()
{
    static std::function<float()> current;
    return current;
}

} // namespace

float timeOfDay()
{
    if (source())
        return source()();
    return float(QTime::currentTime().msecsSinceStartOfDay() / 1000.0);
}

void setTimeOfDaySource(std::function<float()> newSource)
{
    source() = std::move(newSource);
}
