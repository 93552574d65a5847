#ifndef TIMEOFDAY_H
#define TIMEOFDAY_H

#include <functional>

// Seconds since local midnight, with a fraction, held in single precision like the read times.
float timeOfDay();

// Tests set the clock that timeOfDay reads; an empty function puts the real clock back.
void setTimeOfDaySource(std::function<float()> source);

#endif // TIMEOFDAY_H
