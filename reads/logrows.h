// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LOGROWS_H
#define LOGROWS_H

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstdint>
#include <optional>

// The rows of the session log, in CSV: one at the start, and one for every read, speed, Set and
// clear. A cell of text that a spreadsheet would take for a formula is written so that it takes
// it for text, and the text can still be had back exactly.

// One read as it goes into the log.
struct ReadRecord
{
    QString number;
    QString code; // as listed
    QString received; // every character the read took from the port
    QList<qsizetype> marks; // where received holds a '?' for a byte with a parity error
    QString listed; // the line put on top of the list
};

// One press of Calculate Speed as it goes into the log.
struct SpeedRecord
{
    double distanceInches = 0;
    float scan1 = 0;
    float scan2 = 0;
    double scale = 0;
    std::optional<double> modelMph; // none when the speed was refused or overflowed
    std::optional<double> fullMph;
    // Between the pair's two reads by the monotonic clock; none when a read of the pair is not
    // known.
    std::optional<qint64> exactMicroseconds;
    bool reopenedBetween = false; // the port was lost and opened again between the two reads
    QString listed; // the line put on top of the list, or empty
    QString note; // why nothing was listed, or empty
    // The reads behind scan1 and scan2, as listed; empty before the window has had such a read.
    QString scan1Number;
    QString scan1Code;
    QString scan2Number;
    QString scan2Code;
};

// One Set, load's included, as it goes into the log.
struct SetRecord
{
    double length = 0; // the barcode length, as read from its box
    std::optional<std::int16_t> threshold; // none when the length was refused
    QString emptied; // what it took out of the receive buffer
    QList<qsizetype> marks;
    QString problem; // why the length was refused, or what failed once the threshold was set
};

// The log's columns, its header row, and each one's place in it.
QStringList sessionLogColumns();
namespace LogColumn {
enum : qsizetype {
    Time,
    Kind,
    Number,
    Code,
    Received,
    DistanceInches,
    Scan1,
    Scan2,
    ModelMph,
    FullMph,
    FullKmh,
    Scale,
    Listed,
    Note,
    ExactSeconds,
    ExactModelMph,
    ExactFullMph,
    Scan1Number,
    Scan1Code,
    Scan2Number,
    Scan2Code,
    Count
};
} // namespace LogColumn

// The headers of the logs that earlier Pelmars began, oldest first. Each later header added
// columns at the end of the one before, so a row is read by the same names under any of them.
QList<QStringList> earlierSessionLogHeaders();
// The start, on device, with whether opening it raised DTR and RTS (a line may have none).
QStringList startFields(const QString &time, const QString &version, const QString &device,
                        double scale, bool modemLinesRaised);
QStringList readFields(const QString &time, const ReadRecord &read);
QStringList speedFields(const QString &time, const SpeedRecord &speed);
QStringList setFields(const QString &time, const SetRecord &set);
QStringList clearListFields(const QString &time);
// Clear Buffer, with what it emptied.
QStringList clearBufferFields(const QString &time, const QString &emptied,
                              const QList<qsizetype> &marks);

// The received characters, one a byte, in printable ASCII that keeps every byte apart: \\ for a
// backslash, \r \n \t \0, \xHH for any other byte below 0x20, 0x7F and from 0x80 up, and \? for
// a '?' put in place of a byte with a parity error (a real '?' stays '?'). A first character
// that would make a spreadsheet take the text for a formula is written \xHH as well.
QString escapeReceived(const QString &received, const QList<qsizetype> &marks);

// A cell of text as the log writes it: a ' before a first character that would make a
// spreadsheet take it for a formula, and before a ' of its own.
QString textCell(const QString &text);
// The text a cell written by textCell holds.
QString textOfCell(const QString &cell);
// A number as the log writes it: up to 15 significant digits, a point as decimal separator, and
// text rather than a formula for one that is not finite.
QString numberCell(double value);

// One row of RFC 4180 CSV, ended by CR LF: a field holding a comma, a quote, CR or LF is quoted
// and its quotes doubled.
QString csvRow(const QStringList &fields);

#endif // LOGROWS_H
