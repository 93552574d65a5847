// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef SUMMARYTEXT_H
#define SUMMARYTEXT_H

#include "speedsummary.h"

#include <QString>
#include <QStringList>

// The summary as plain text for a terminal, and the words and figures that the CSV and the page
// share with it.
QString summaryText(const SpeedSummary &summary);

// "3 exact, 2 single" or "exact": how the passes kept were timed.
QString timingText(const ModelSummary &model);
// "the slowest" or the code asked for, what the percentages are of.
QString againstText(const SpeedSummary &summary);
// A session's number among those of its log, from 1.
qint32 sessionNumber(const SpeedSummary &summary, qint32 session);
// "three.csv, session 2": a session as the summary names it.
QString sessionName(const SpeedSummary &summary, qint32 session);
// "started 2026-12-09 21:40:00 +00:00, Pelmar 1.0 on /dev/pts/3, scale 1:87, lines 2 to 75"
QString sessionDetails(const SpeedSummary &summary, qint32 session);
// "36.00 mph, 20.0 % below the median of 45.00"
QString outlierText(const SpeedSummary &summary, const ModelSummary &model, size_t speed);
// "three.csv line 76: the last row is cut short ..."
QStringList problemTexts(const SpeedSummary &summary);
QString fixed(double value, int decimals);

#endif // SUMMARYTEXT_H
