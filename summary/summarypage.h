// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef SUMMARYPAGE_H
#define SUMMARYPAGE_H

#include "speedsummary.h"

#include <QTextStream>

// The summary as one self-contained HTML page in UTF-8: no script, no font or picture fetched,
// the charts drawn inline as SVG. A session of up to 10 models prints on one A4 or Letter page in
// portrait. It is well-formed XML as well, so that any XML reader can check it. Written a piece at
// a time, so that the page of a long log takes no more memory than a short one's.
void writeSummaryPage(QTextStream &out, const SpeedSummary &summary);

#endif // SUMMARYPAGE_H
