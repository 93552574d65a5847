// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "summarypage.h"

#include "speed.h"
#include "speedchart.h"
#include "summarytext.h"

#include <QFileInfo>

namespace {

// Within both A4 (210 x 297 mm) and Letter (216 x 279 mm) less the margins.
const char *const Style = R"(
@page { margin: 12mm; }
* { box-sizing: border-box; }
body { font-family: sans-serif; font-size: 9pt; color: #000; background: #fff;
       max-width: 186mm; margin: 6mm auto; line-height: 1.3; }
h1 { font-size: 14pt; margin: 0 0 1.5mm; }
h2 { font-size: 11pt; margin: 4mm 0 0.5mm; }
p { margin: 0.8mm 0; }
ul { margin: 0.5mm 0; padding-left: 5mm; }
svg.chart { display: block; width: 100%; height: auto; margin: 1.5mm 0; }
table { border-collapse: collapse; width: 100%; font-variant-numeric: tabular-nums; }
th, td { padding: 0.5mm 1.2mm; border-bottom: 0.2mm solid #bbb; text-align: right;
         white-space: nowrap; }
th { border-bottom: 0.4mm solid #000; font-weight: bold; }
th:first-child, td:first-child { text-align: left; white-space: normal; }
td.reference { font-weight: bold; }
svg.mark { width: 3.2mm; height: 3.2mm; vertical-align: -0.6mm; margin-right: 1mm; }
.small { font-size: 8pt; color: #333; }
.problems { border: 0.4mm solid #E00000; padding: 1mm 2mm; margin: 2mm 0; }
section { break-inside: avoid; }
)";

// Control characters, which a path or a note may hold, are written \xHH: XML has no place for them.
QString element(const char *name, const QString &text, const char *attributes = "")
{
    return QStringLiteral("<%1%2>%3</%1>")
        .arg(QLatin1String(name), QLatin1String(attributes), escapedHtml(printableCode(text)));
}

QString mark(qsizetype place)
{
    return QStringLiteral(
               "<svg class=\"mark\" xmlns=\"http://www.w3.org/2000/svg\" "
               "viewBox=\"-6 -6 12 12\" aria-hidden=\"true\"><g fill=\"%1\">%2</g></svg>")
        .arg(modelColour(place), modelShape(place));
}

QString modelTable(const SpeedSummary &summary, qint32 session)
{
    QString rows;
    qsizetype place = 0;
    for (const ModelSummary &model : summary.models) {
        if (model.session != session)
            continue;
        const QString against = model.againstPercent
            ? fixed(*model.againstPercent, 1) + QStringLiteral(" %")
            : QStringLiteral("-");
        rows += QStringLiteral("<tr><td>%1%2</td>")
                    .arg(mark(place++),
                         escapedHtml(modelName(summary, model.firstCode, model.secondCode)));
        for (const QString &cell :
             {QString::number(model.keptPasses()), QString::number(model.outliers.size()),
              fixed(model.medianMph, 2), fixed(model.medianMph * KilometresPerMile, 2),
              fixed(model.lowestMph, 2), fixed(model.highestMph, 2),
              fixed(model.spreadPercent, 1) + QStringLiteral(" %")}) {
            rows += element("td", cell);
        }
        rows += model.reference ? element("td", against, " class=\"reference\"")
                                : element("td", against);
        rows += element("td", timingText(model)) + QStringLiteral("</tr>\n");
    }
    if (rows.isEmpty())
        return element("p", QStringLiteral("No speed of a model to sum up."));
    QString head = QStringLiteral("<table>\n<tr>");
    for (const QString &title :
         {QStringLiteral("model"), QStringLiteral("passes"), QStringLiteral("left out"),
          QStringLiteral("median mph"), QStringLiteral("km/h"), QStringLiteral("lowest"),
          QStringLiteral("highest"), QStringLiteral("spread"),
          QStringLiteral("vs %1").arg(againstText(summary)), QStringLiteral("timed")}) {
        head += element("th", title);
    }
    return head + QStringLiteral("</tr>\n") + rows + QStringLiteral("</table>\n");
}

QString passLists(const SpeedSummary &summary, qint32 session)
{
    const Readings &readings = summary.readings;
    QString outliers;
    for (const ModelSummary &model : summary.models) {
        if (model.session != session)
            continue;
        for (const size_t speed : model.outliers) {
            outliers += element("li",
                                QStringLiteral("%1 %2: %3")
                                    .arg(timeOfDay(readings.speeds[speed].time()),
                                         modelName(summary, model.firstCode, model.secondCode),
                                         outlierText(summary, model, speed)));
        }
    }
    QString setAside;
    for (const SetAside &aside : summary.setAside) {
        const SpeedPress &speed = readings.speeds[aside.speed];
        if (speed.session != session)
            continue;
        const QString figure
            = speed.refused() ? QString() : fixed(speed.bestMph(), 2) + QStringLiteral(" mph, ");
        setAside += element("li",
                            QStringLiteral("%1 %2: %3%4")
                                .arg(timeOfDay(speed.time()),
                                     modelName(summary, speed.firstCode, speed.secondCode), figure,
                                     printableCode(setAsideText(summary, aside))));
    }
    QString lists;
    if (!outliers.isEmpty())
        lists += QStringLiteral("<p class=\"small\">Left out as outliers (ringed in red):</p>"
                                "<ul class=\"small\">%1</ul>\n")
                     .arg(outliers);
    if (!setAside.isEmpty())
        lists += QStringLiteral("<p class=\"small\">Not averaged in (grey crosses where they have "
                                "a speed):</p><ul class=\"small\">%1</ul>\n")
                     .arg(setAside);
    if (const qint64 repeats = readings.sessions.at(session).repeatedPresses; repeats > 0)
        lists += element("p",
                         QStringLiteral("Calculate Speed pressed again for the same reads %1 "
                                        "times: the last press for each pass counts.")
                             .arg(repeats),
                         " class=\"small\"");
    return lists;
}

} // namespace

void writeSummaryPage(QTextStream &out, const SpeedSummary &summary)
{
    const Readings &readings = summary.readings;
    out << QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n"
                          "<meta charset=\"utf-8\"/>\n"
                          "<title>Pelmar speed summary</title>\n<style>%1</style>\n"
                          "</head>\n<body>\n")
               .arg(QLatin1String(Style));
    out << element("h1", QStringLiteral("Pelmar speed summary")) + u'\n';
    QString logs;
    for (const QString &log : readings.logs)
        logs += element("li", QFileInfo(log).absoluteFilePath());
    out << QStringLiteral("<ul class=\"small\">%1</ul>\n").arg(logs);
    const QStringList problems = problemTexts(summary);
    if (!problems.isEmpty()) {
        QString items;
        for (const QString &problem : problems)
            items += element("li", printableCode(problem));
        out << QStringLiteral("<div class=\"problems\"><p>Rows left out of this summary:</p>"
                              "<ul class=\"small\">%1</ul></div>\n")
                   .arg(items);
    }
    for (qint32 session = 0; session < readings.sessions.size(); ++session) {
        out << QStringLiteral("<section>\n");
        out << element("h2", sessionName(summary, session));
        out << element("p", sessionDetails(summary, session), " class=\"small\"");
        writeSpeedChart(out, summary, session);
        out << modelTable(summary, session);
        out << passLists(summary, session);
        out << QStringLiteral("</section>\n");
    }
    out << element("p",
                   QStringLiteral("Full-size speeds. Each model is its pair of codes in the order "
                                  "read; its dashed line is its median. A pass more than %1 % "
                                  "from its model's median is left out as an outlier once the "
                                  "model has %2 passes; the figures are of the passes kept. "
                                  "Timed: exact by the monotonic clock, single from the read "
                                  "times in single precision, as older rows have them.")
                       .arg(OutlierShare * 100)
                       .arg(MinimumPassesForOutliers),
                   " class=\"small\"");
    out << QStringLiteral("\n</body>\n</html>\n");
}
