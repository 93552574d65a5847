// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "summarytext.h"

#include "speed.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace {

QString padded(const QString &text, qsizetype width, bool right)
{
    return right ? text.rightJustified(width) : text.leftJustified(width);
}

// Rows of cells, each column as wide as its widest cell; the first column to the left, the
// others to the right.
QString table(const QList<QStringList> &rows, const QString &indent)
{
    QList<qsizetype> widths;
    for (const QStringList &row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths << 0;
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    QString text;
    for (const QStringList &row : rows) {
        QStringList cells;
        for (qsizetype i = 0; i < row.size(); ++i)
            cells << padded(row[i], widths[i], i > 0);
        text += indent + cells.join(QStringLiteral("  ")) + u'\n';
    }
    return text;
}

QString plural(qint64 count, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

} // namespace

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString timingText(const ModelSummary &model)
{
    if (model.singlePrecisionPasses == 0)
        return QStringLiteral("exact");
    if (model.exactPasses == 0)
        return QStringLiteral("single");
    return QStringLiteral("%1 exact, %2 single")
        .arg(model.exactPasses)
        .arg(model.singlePrecisionPasses);
}

QString againstText(const SpeedSummary &summary)
{
    return summary.against.isEmpty() ? QStringLiteral("the slowest")
                                     : printableCode(summary.against);
}

qint32 sessionNumber(const SpeedSummary &summary, qint32 session)
{
    qint32 number = 1;
    for (qint32 other = 0; other < session; ++other)
        number
            += summary.readings.sessions.at(other).log == summary.readings.sessions.at(session).log;
    return number;
}

QString sessionName(const SpeedSummary &summary, qint32 session)
{
    const Session &it = summary.readings.sessions.at(session);
    return QStringLiteral("%1, session %2")
        .arg(QFileInfo(summary.readings.logs.at(it.log)).fileName(),
             QString::number(sessionNumber(summary, session)));
}

QString sessionDetails(const SpeedSummary &summary, qint32 session)
{
    const Session &it = summary.readings.sessions.at(session);
    QStringList details;
    if (it.started)
        details << QStringLiteral("started %1 %2")
                       .arg(dateAndTime(*it.started), utcOffset(*it.started));
    else
        details << QStringLiteral("before the log's first start row");
    if (!it.startNote.isEmpty())
        details << printableCode(it.startNote);
    if (it.scale > 0)
        details << QStringLiteral("scale 1:%1").arg(it.scale);
    details << QStringLiteral("lines %1 to %2").arg(it.firstLine).arg(it.lastLine);
    return details.join(QStringLiteral(", "));
}

QString outlierText(const SpeedSummary &summary, const ModelSummary &model, size_t speed)
{
    const double mph = summary.readings.speeds[speed].bestMph();
    const double off = (mph - model.medianOfAllMph) / std::abs(model.medianOfAllMph) * 100;
    return QStringLiteral("%1 mph, %2 % %3 the median of %4")
        .arg(fixed(mph, 2), fixed(std::abs(off), 1),
             off < 0 ? QStringLiteral("below") : QStringLiteral("above"),
             fixed(model.medianOfAllMph, 2));
}

QStringList problemTexts(const SpeedSummary &summary)
{
    QStringList texts;
    for (const LogProblem &problem : summary.readings.problems) {
        texts << QStringLiteral("%1 line %2: %3")
                     .arg(summary.readings.logs.at(problem.log), QString::number(problem.line),
                          problem.text);
    }
    return texts;
}

QString summaryText(const SpeedSummary &summary)
{
    const Readings &readings = summary.readings;
    qint64 passes = 0;
    for (const ModelSummary &model : summary.models)
        passes += static_cast<qint64>(model.passes.size());
    QString text = QStringLiteral("Pelmar speed summary: %1, %2, %3 of %4\n")
                       .arg(plural(readings.logs.size(), "log", "logs"),
                            plural(readings.sessions.size(), "session", "sessions"),
                            plural(passes, "pass", "passes"),
                            plural(summary.models.size(), "model", "models"));
    text += QStringLiteral("Speeds are full-size. A pass more than %1 % from its model's median is "
                           "left out as an outlier, once the model has %2 passes.\n")
                .arg(OutlierShare * 100)
                .arg(MinimumPassesForOutliers);
    if (summary.models.isEmpty())
        text += QStringLiteral("No speed of a model in these logs.\n");
    for (qint32 session = 0; session < readings.sessions.size(); ++session) {
        text += QStringLiteral("\n%1: %2\n")
                    .arg(sessionName(summary, session), sessionDetails(summary, session));
        QList<QStringList> rows {
            {QStringLiteral("model"), QStringLiteral("passes"), QStringLiteral("left out"),
             QStringLiteral("median mph"), QStringLiteral("km/h"), QStringLiteral("lowest"),
             QStringLiteral("highest"), QStringLiteral("spread"),
             QStringLiteral("vs %1").arg(againstText(summary)), QStringLiteral("timed")}};
        QString outliers;
        for (const ModelSummary &model : summary.models) {
            if (model.session != session)
                continue;
            rows << QStringList {modelName(summary, model.firstCode, model.secondCode),
                                 QString::number(model.keptPasses()),
                                 QString::number(model.outliers.size()),
                                 fixed(model.medianMph, 2),
                                 fixed(model.medianMph * KilometresPerMile, 2),
                                 fixed(model.lowestMph, 2),
                                 fixed(model.highestMph, 2),
                                 fixed(model.spreadPercent, 1) + QStringLiteral(" %"),
                                 model.againstPercent
                                     ? fixed(*model.againstPercent, 1) + QStringLiteral(" %")
                                     : QStringLiteral("-"),
                                 timingText(model)};
            for (const size_t speed : model.outliers) {
                outliers += QStringLiteral("    %1  %2  %3\n")
                                .arg(timeOfDay(readings.speeds[speed].time()),
                                     modelName(summary, model.firstCode, model.secondCode),
                                     outlierText(summary, model, speed));
            }
        }
        if (rows.size() == 1)
            text += QStringLiteral("  No speed of a model to sum up.\n");
        else
            text += table(rows, QStringLiteral("  "));
        if (!outliers.isEmpty())
            text += QStringLiteral("  Left out as outliers:\n") + outliers;
        QString setAside;
        for (const SetAside &aside : summary.setAside) {
            const SpeedPress &speed = readings.speeds[aside.speed];
            if (speed.session != session)
                continue;
            const QString figure = speed.refused()
                ? QString()
                : fixed(speed.bestMph(), 2) + QStringLiteral(" mph: ");
            setAside += QStringLiteral("    %1  %2  %3%4\n")
                            .arg(timeOfDay(speed.time()),
                                 modelName(summary, speed.firstCode, speed.secondCode), figure,
                                 printableCode(setAsideText(summary, aside)));
        }
        if (!setAside.isEmpty())
            text += QStringLiteral("  Not averaged in:\n") + setAside;
        if (const qint64 repeats = readings.sessions.at(session).repeatedPresses; repeats > 0) {
            text += QStringLiteral("  %1 of Calculate Speed again for the same reads: the last "
                                   "for each pass counts.\n")
                        .arg(plural(repeats, "press", "presses"));
        }
    }
    text += QStringLiteral("\nTimed: exact by the monotonic clock; single from the read times in "
                           "single precision, as older rows have them.\n");
    const QStringList problems = problemTexts(summary);
    if (!problems.isEmpty()) {
        text += QStringLiteral("\nRows left out:\n");
        for (const QString &problem : problems)
            text += QStringLiteral("  ") + printableCode(problem) + u'\n';
    }
    return text;
}
