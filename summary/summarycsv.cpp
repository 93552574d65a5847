// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "summarycsv.h"

#include "logrows.h"
#include "speed.h"
#include "summarytext.h"

namespace {

enum Column {
    Log,
    SessionNumber,
    Started,
    Scale,
    Kind,
    FirstCode,
    SecondCode,
    Passes,
    LeftOut,
    MedianMph,
    MedianKmh,
    LowestMph,
    HighestMph,
    SpreadPercent,
    Against,
    AgainstPercent,
    Timed,
    Time,
    FullMph,
    Why,
    ColumnCount
};

QString codeCell(const SpeedSummary &summary, qint32 code)
{
    return code < 0 ? QString() : textCell(summary.readings.texts.at(code));
}

QStringList sessionFields(const SpeedSummary &summary, qint32 session, const QString &kind)
{
    const Session &it = summary.readings.sessions.at(session);
    QStringList fields(ColumnCount);
    fields[Log] = textCell(summary.readings.logs.at(it.log));
    fields[SessionNumber] = QString::number(sessionNumber(summary, session));
    if (it.started)
        fields[Started] = dateAndTime(*it.started) + u' ' + utcOffset(*it.started);
    if (it.scale > 0)
        fields[Scale] = numberCell(it.scale);
    fields[Kind] = kind;
    return fields;
}

QStringList speedFields(const SpeedSummary &summary, size_t index, const QString &kind)
{
    const SpeedPress &speed = summary.readings.speeds[index];
    QStringList fields = sessionFields(summary, speed.session, kind);
    fields[FirstCode] = codeCell(summary, speed.firstCode);
    fields[SecondCode] = codeCell(summary, speed.secondCode);
    fields[Time] = logTimeText(speed.time());
    if (!speed.refused())
        fields[FullMph] = numberCell(speed.bestMph());
    fields[Timed] = speed.refused() ? QString()
        : speed.exact()             ? QStringLiteral("exact")
                                    : QStringLiteral("single");
    return fields;
}

} // namespace

QStringList summaryCsvColumns()
{
    return {"log",         "session",        "started",     "scale",
            "kind",        "first_code",     "second_code", "passes",
            "left_out",    "median_mph",     "median_kmh",  "lowest_mph",
            "highest_mph", "spread_percent", "against",     "against_percent",
            "timed",       "time",           "full_mph",    "why"};
}

QByteArray summaryCsv(const SpeedSummary &summary)
{
    QString csv = csvRow(summaryCsvColumns());
    for (const ModelSummary &model : summary.models) {
        QStringList fields = sessionFields(summary, model.session, QStringLiteral("model"));
        fields[FirstCode] = codeCell(summary, model.firstCode);
        fields[SecondCode] = codeCell(summary, model.secondCode);
        fields[Passes] = QString::number(model.keptPasses());
        fields[LeftOut] = QString::number(model.outliers.size());
        fields[MedianMph] = numberCell(model.medianMph);
        fields[MedianKmh] = numberCell(model.medianMph * KilometresPerMile);
        fields[LowestMph] = numberCell(model.lowestMph);
        fields[HighestMph] = numberCell(model.highestMph);
        fields[SpreadPercent] = numberCell(model.spreadPercent);
        fields[Against]
            = summary.against.isEmpty() ? QStringLiteral("slowest") : textCell(summary.against);
        if (model.againstPercent)
            fields[AgainstPercent] = numberCell(*model.againstPercent);
        fields[Timed] = timingText(model);
        csv += csvRow(fields);
    }
    for (const ModelSummary &model : summary.models) {
        for (const size_t speed : model.outliers) {
            QStringList fields = speedFields(summary, speed, QStringLiteral("outlier"));
            fields[Why] = textCell(outlierText(summary, model, speed));
            csv += csvRow(fields);
        }
    }
    for (const SetAside &aside : summary.setAside) {
        QStringList fields = speedFields(summary, aside.speed, QStringLiteral("not averaged"));
        fields[Why] = textCell(setAsideText(summary, aside));
        csv += csvRow(fields);
    }
    for (const LogProblem &problem : summary.readings.problems) {
        QStringList fields(ColumnCount);
        fields[Log] = textCell(summary.readings.logs.at(problem.log));
        fields[Kind] = QStringLiteral("row left out");
        fields[Why] = textCell(QStringLiteral("line %1: %2").arg(problem.line).arg(problem.text));
        csv += csvRow(fields);
    }
    return csv.toUtf8();
}
