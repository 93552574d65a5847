#ifndef SPEED_H
#define SPEED_H

#include <QString>

struct SpeedResult
{
    QString message;
    QString listLine; // empty when nothing is to be listed
};

// The speed of the model from the times of the two reads of a pair (single-precision seconds
// since midnight) and the distance between its barcodes in inches, with the full-size speed of a
// 1:87 model; the list line is the full-size speed rounded by its 15-digit text. Throws
// RunTimeError (Overflow) when the speed is not finite or the rounded speed leaves -32768..32767.
SpeedResult calculateSpeed(float scan1, float scan2, const QString &distanceText);

#endif // SPEED_H
