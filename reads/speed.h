// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef SPEED_H
#define SPEED_H

#include <QString>

// HO, the scale the full-size speed is worked out for unless another is given.
inline constexpr double DefaultScale = 87;
inline constexpr double KilometresPerMile = 1.609344;

struct SpeedResult
{
    QString message;
    QString listLine; // empty when nothing is to be listed
    // The figures behind the message, when the speed was worked out.
    bool computed = false;
    double modelMph = 0;
    double fullMph = 0;
};

// The speed of the model from the times of the two reads of a pair (single-precision seconds
// since midnight) and the distance between its barcodes in inches, with the full-size speed of a
// model at the given scale (1:scale); the list line is the full-size speed rounded by its
// 15-digit text. Throws RunTimeError (Overflow) when the speed is not finite or the rounded speed
// leaves -32768..32767.
SpeedResult calculateSpeed(float scan1, float scan2, const QString &distanceText,
                           double scale = DefaultScale);

// The model's speed in mph over inches in seconds, by the one formula every speed is worked out
// with; not finite when seconds is 0 or the distance too large.
double modelMph(double inches, double seconds);

#endif // SPEED_H
