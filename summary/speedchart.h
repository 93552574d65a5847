// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef SPEEDCHART_H
#define SPEEDCHART_H

#include "speedsummary.h"

#include <QString>
#include <QTextStream>

// The marks that tell models apart in black and white as in colour: the model's place in its
// session picks both.
QString modelColour(qsizetype place);
// An SVG element drawing the model's shape around (0, 0), for a legend or a point.
QString modelShape(qsizetype place);

// One session's passes as inline SVG: time of day across, full-size mph up, each model in its
// colour and shape with its median as a dashed line, outliers ringed, and the speeds not averaged
// in as grey crosses. Every point carries its figures as a title. Written a point at a time, so a
// chart of a long log takes no more memory than a short one's.
void writeSpeedChart(QTextStream &out, const SpeedSummary &summary, qint32 session);

// Text made safe inside HTML and SVG.
QString escapedHtml(const QString &text);

#endif // SPEEDCHART_H
