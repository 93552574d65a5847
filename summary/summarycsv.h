// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef SUMMARYCSV_H
#define SUMMARYCSV_H

#include "speedsummary.h"

#include <QByteArray>
#include <QStringList>

// The summary as CSV with the log's conventions (RFC 4180, UTF-8, CR LF, cells guarded against
// formulas): a row for each model of each session, then a row for each pass left out or not
// averaged in and each log row left out, told apart by kind.
QStringList summaryCsvColumns();
QByteArray summaryCsv(const SpeedSummary &summary);

#endif // SUMMARYCSV_H
