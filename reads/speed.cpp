// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "speed.h"

#include "conversions.h"
#include "runtimeerror.h"

#include <cmath>
#include <cstdint>

namespace {
constexpr double InchesPerFoot = 12;
constexpr double SecondsPerMinute = 60;
constexpr double MinutesPerHour = 60;
constexpr double FeetPerMile = 5280;
} // namespace

SpeedResult calculateSpeed(float scan1, float scan2, const QString &distanceText, double scale)
{
    // Equal times fail too: an odd number of reads, no reads yet, or a pair across midnight.
    if (!(scan2 > scan1))
        return {QStringLiteral("Scan1 > Scan2, try again!"), {}};

    const double inches = Val(distanceText);
    // Subtracted and kept in single precision, like the read times themselves.
    const float time = scan2 - scan1;
    const double speed = modelMph(inches, time);
    const double full = speed * scale;
    if (!std::isfinite(full)) {
        throw RunTimeError(
            RunTimeError::Overflow,
            QStringLiteral("Overflow: a distance of %1 inches gives a speed too large "
                           "to compute. Nothing was listed.")
                .arg(numberToText(inches)));
    }

    const QString speedText = numberToText(speed);
    const QString fullText = numberToText(full);
    std::int16_t rounded = 0;
    try {
        // Rounded by the text the user sees, so a text ending in exactly .5 goes to the even side.
        rounded = textToInteger16(fullText);
    } catch (const RunTimeError &) {
        throw RunTimeError(RunTimeError::Overflow,
                           QStringLiteral("Overflow: the full-size speed, %1mph, is outside the "
                                          "listable range of -32768 to 32767 mph. Nothing was "
                                          "listed.")
                               .arg(fullText));
    }
    return {QStringLiteral("Real speed = ") + speedText + QStringLiteral("mph That would be ")
                + fullText + QStringLiteral("mph in real life!"),
            numberToText(rounded) + QStringLiteral(" MPH"), true, speed, full};
}

double modelMph(double inches, double seconds)
{
    const double distance = inches / InchesPerFoot;
    return distance / seconds * SecondsPerMinute * MinutesPerHour / FeetPerMile;
}
