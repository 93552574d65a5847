// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "logrows.h"

#include "conversions.h"
#include "speed.h"

#include <QStringView>

#include <algorithm>
#include <cmath>

namespace {

constexpr double MicrosecondsPerSecond = 1e6;

using namespace LogColumn;

// Where each earlier header ended: the first had no exact speeds, the second no pair.
constexpr int FirstCount = ExactSeconds;
constexpr int SecondCount = Scan1Number;

// A spreadsheet runs a cell that begins with one of these as a formula; a tab or a CR before one
// may be taken as a blank and skipped.
bool beginsAFormula(QStringView cell)
{
    return !cell.isEmpty() && QStringView(u"=+-@\t\r").contains(cell.front());
}

QString hexEscape(char16_t c)
{
    return QStringLiteral("\\x%1").arg(static_cast<int>(c), 2, 16, QLatin1Char('0'));
}

QStringList fieldsOf(const QString &time, const QString &kind)
{
    QStringList fields(Count);
    fields[Time] = time;
    fields[Kind] = kind;
    return fields;
}

// The exact figures, beside those of the single-precision read times, for a speed that was
// worked out (the caller's to know); none where the monotonic times give no finite speed.
void addExactSpeed(QStringList &fields, const SpeedRecord &speed)
{
    if (!speed.exactMicroseconds || *speed.exactMicroseconds <= 0)
        return;
    const double seconds = static_cast<double>(*speed.exactMicroseconds) / MicrosecondsPerSecond;
    const double model = modelMph(speed.distanceInches, seconds);
    const double full = model * speed.scale;
    if (!std::isfinite(full))
        return;
    fields[ExactSeconds] = numberCell(seconds);
    fields[ExactModelMph] = numberCell(model);
    fields[ExactFullMph] = numberCell(full);
}

} // namespace

QStringList sessionLogColumns()
{
    return {"time",           "kind",         "number",        "code",
            "received",       "distance_in",  "scan1",         "scan2",
            "model_mph",      "full_mph",     "full_kmh",      "scale",
            "listed",         "note",         "exact_seconds", "exact_model_mph",
            "exact_full_mph", "scan1_number", "scan1_code",    "scan2_number",
            "scan2_code"};
}

QList<QStringList> earlierSessionLogHeaders()
{
    const QStringList columns = sessionLogColumns();
    return {columns.first(FirstCount), columns.first(SecondCount)};
}

QStringList startFields(const QString &time, const QString &version, const QString &device,
                        double scale, bool modemLinesRaised)
{
    QStringList fields = fieldsOf(time, QStringLiteral("start"));
    fields[Scale] = numberCell(scale);
    fields[Note] = QStringLiteral("Pelmar %1 on %2, %3")
                       .arg(version, device,
                            modemLinesRaised ? QStringLiteral("DTR and RTS raised")
                                             : QStringLiteral("which has no modem lines"));
    return fields;
}

QStringList readFields(const QString &time, const ReadRecord &read)
{
    QStringList fields = fieldsOf(time, QStringLiteral("read"));
    fields[Number] = read.number;
    fields[Code] = textCell(read.code);
    fields[Received] = escapeReceived(read.received, read.marks);
    fields[Listed] = textCell(read.listed);
    return fields;
}

QStringList speedFields(const QString &time, const SpeedRecord &speed)
{
    QStringList fields = fieldsOf(time, QStringLiteral("speed"));
    fields[DistanceInches] = numberCell(speed.distanceInches);
    fields[Scan1] = numberCell(static_cast<double>(speed.scan1));
    fields[Scan2] = numberCell(static_cast<double>(speed.scan2));
    if (speed.modelMph && speed.fullMph) {
        fields[ModelMph] = numberCell(*speed.modelMph);
        fields[FullMph] = numberCell(*speed.fullMph);
        fields[FullKmh] = numberCell(*speed.fullMph * KilometresPerMile);
        addExactSpeed(fields, speed);
    }
    fields[Scale] = numberCell(speed.scale);
    fields[Listed] = textCell(speed.listed);
    // Reads are lost while the scanner is away, so the two may be of different passes.
    const QString reopened = QStringLiteral("the scanner's port was lost and opened again "
                                            "between the two reads, which may not be of one pass");
    fields[Note] = speed.note.isEmpty() && speed.reopenedBetween ? reopened : speed.note;
    fields[Scan1Number] = speed.scan1Number;
    fields[Scan1Code] = textCell(speed.scan1Code);
    fields[Scan2Number] = speed.scan2Number;
    fields[Scan2Code] = textCell(speed.scan2Code);
    return fields;
}

QStringList setFields(const QString &time, const SetRecord &set)
{
    QStringList fields = fieldsOf(time, QStringLiteral("set"));
    fields[Received] = escapeReceived(set.emptied, set.marks);
    QString note
        = QStringLiteral("barcode length %1").arg(numberToText(set.length, QStringLiteral(".")));
    if (set.threshold)
        note += QStringLiteral(", threshold %1").arg(*set.threshold);
    if (!set.problem.isEmpty())
        note += (set.threshold ? QStringLiteral("; ") : QStringLiteral(": ")) + set.problem;
    fields[Note] = note;
    return fields;
}

QStringList clearListFields(const QString &time)
{
    QStringList fields = fieldsOf(time, QStringLiteral("clear"));
    fields[Note] = QStringLiteral("Clear List");
    return fields;
}

QStringList clearBufferFields(const QString &time, const QString &emptied,
                              const QList<qsizetype> &marks)
{
    QStringList fields = fieldsOf(time, QStringLiteral("clear"));
    fields[Received] = escapeReceived(emptied, marks);
    fields[Note] = QStringLiteral("Clear Buffer");
    return fields;
}

// A label can carry anything, so text gets a ' before such a first character, as spreadsheets
// themselves write it; and before a ' of its own, so that taking one ' off gives the text back.
QString textCell(const QString &text)
{
    return beginsAFormula(text) || text.startsWith(u'\'') ? u'\'' + text : text;
}

QString textOfCell(const QString &cell)
{
    return cell.startsWith(u'\'') ? cell.sliced(1) : cell;
}

// The same figures in every locale: the comma is the field separator. A spreadsheet reads a
// number with a minus as a number; -Infinity, a distance too large to read, is text to it.
QString numberCell(double value)
{
    const QString text = numberToText(value, QStringLiteral("."));
    return std::isfinite(value) ? text : textCell(text);
}

QString escapeReceived(const QString &received, const QList<qsizetype> &marks)
{
    QString escaped;
    escaped.reserve(received.size());
    for (qsizetype i = 0; i < received.size(); ++i) {
        const char16_t c = received.at(i).unicode();
        if (std::binary_search(marks.begin(), marks.end(), i))
            escaped += QStringLiteral("\\?");
        else if (c == u'\\')
            escaped += QStringLiteral("\\\\");
        else if (c == u'\r')
            escaped += QStringLiteral("\\r");
        else if (c == u'\n')
            escaped += QStringLiteral("\\n");
        else if (c == u'\t')
            escaped += QStringLiteral("\\t");
        else if (c == 0)
            escaped += QStringLiteral("\\0");
        else if (c < 0x20 || c >= 0x7F)
            escaped += hexEscape(c);
        else
            escaped += QChar(c);
    }
    // Tab and CR are escaped by now; a sign is the one way left to begin a formula.
    if (beginsAFormula(escaped))
        escaped.replace(0, 1, hexEscape(escaped.front().unicode()));
    return escaped;
}

QString csvRow(const QStringList &fields)
{
    QString row;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            row += u',';
        const QString &field = fields.at(i);
        if (field.contains(u',') || field.contains(u'"') || field.contains(u'\r')
            || field.contains(u'\n')) {
            row += u'"' + QString(field).replace(u'"', QStringLiteral("\"\"")) + u'"';
        } else {
            row += field;
        }
    }
    return row + QStringLiteral("\r\n");
}
