// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LOGREADING_H
#define LOGREADING_H

#include "logtime.h"
#include "result.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cmath>
#include <deque>
#include <optional>

// What the summary takes from session logs: every press of Calculate Speed with the pair of reads
// it was worked out from, by session. The logs are read a piece at a time and their read rows are
// not kept, so memory grows with the speeds alone, not with the size of the logs.

// One run of Pelmar in a log: from a start row to the next, or the rows before a first start row.
struct Session
{
    qsizetype log = 0; // into Readings::logs
    qint64 firstLine = 0;
    qint64 lastLine = 0;
    std::optional<LogTime> started; // none for rows before any start row
    QString startNote; // "Pelmar 1.0 on /dev/ttyUSB0"
    double scale = 0; // 0 when the session has no start row
    // Presses of Calculate Speed again for a pair already worked out; only the last one counts.
    qint64 repeatedPresses = 0;
};

// The speed of one press of Calculate Speed, the last for its pair. Kept small: a long log holds
// hundreds of thousands.
struct SpeedPress
{
    qint64 utcMicroseconds = 0;
    double fullMph = 0; // from the single-precision read times; NaN when refused
    double exactFullMph = 0; // by the monotonic clock; NaN where the row has none
    qint32 utcOffsetSeconds = 0;
    qint32 session = 0;
    qint32 firstCode = -1; // into Readings::texts; -1 when the read is not known
    qint32 secondCode = -1;
    qint32 firstNumber = -1; // the reads' numbers as listed; -1 when not known
    qint32 secondNumber = -1;
    qint32 note = -1; // into Readings::texts; -1 for none
    bool pairFromReads = false; // the row has no pair of its own: it was found from the reads

    bool refused() const { return std::isnan(fullMph); }
    // The exact speed where the log has it.
    double bestMph() const { return exact() ? exactFullMph : fullMph; }
    bool exact() const { return !std::isnan(exactFullMph); }
    LogTime time() const { return {utcMicroseconds, utcOffsetSeconds}; }
};

// A row left out, and why.
struct LogProblem
{
    qsizetype log = 0;
    qint64 line = 0;
    QString text;
};

struct Readings
{
    QStringList logs; // as named
    QList<Session> sessions;
    std::deque<SpeedPress> speeds;
    QStringList texts; // codes and notes, each once
    QList<LogProblem> problems;
};

// Reads every log named into readings, in order. Fails, naming the log, when one cannot be read as
// a Pelmar session log at all: missing, a folder, empty, unreadable, or not beginning with a Pelmar
// log's header. Rows that cannot be taken are left out and named in problems: a row cut short, a
// row of bytes that are not UTF-8, a row that does not fit the header.
Result<> readSessionLogs(const QStringList &paths, Readings &readings);

#endif // LOGREADING_H
