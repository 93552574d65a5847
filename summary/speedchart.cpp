// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "speedchart.h"

#include "summarytext.h"

#include <QList>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

constexpr double Width = 720;
constexpr double Height = 300;
constexpr double Left = 52;
constexpr double Right = 14;
constexpr double Top = 12;
constexpr double Bottom = 34;
constexpr double MicrosecondsPerSecond = 1e6;
constexpr int MostTicks = 7;

// Okabe and Ito's colours, which colour-blind readers tell apart, darkened where they would be
// faint on paper, then four more.
constexpr std::array<const char *, 10> Colours {"#0072B2", "#D55E00", "#009E73", "#CC79A7",
                                                "#E69F00", "#56B4E9", "#000000", "#8C564B",
                                                "#7F7F7F", "#A08C00"};

QString number(double value)
{
    return QString::number(value, 'f', 1);
}

// A step of 1, 2 or 5 times a power of ten that cuts range into at most MostTicks pieces.
double niceStep(double range)
{
    const double rough = range / (MostTicks - 1);
    const double power = std::pow(10, std::floor(std::log10(rough)));
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= rough)
            return factor * power;
    }
    return 10 * power;
}

double timeStepSeconds(double rangeSeconds)
{
    for (const double step :
         {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200}) {
        if (rangeSeconds / step <= MostTicks - 1)
            return step;
    }
    return 86400;
}

struct Scale
{
    double from;
    double to;
    double pixelsFrom;
    double pixelsTo;
    double operator()(double value) const
    {
        return pixelsFrom + (value - from) / (to - from) * (pixelsTo - pixelsFrom);
    }
};

} // namespace

QString escapedHtml(const QString &text)
{
    return text.toHtmlEscaped();
}

QString modelColour(qsizetype place)
{
    return QLatin1String(Colours[static_cast<size_t>(place) % Colours.size()]);
}

QString modelShape(qsizetype place)
{
    static const std::array<const char *, 10> shapes {
        "<circle r=\"4.5\"/>",
        "<rect x=\"-4\" y=\"-4\" width=\"8\" height=\"8\"/>",
        "<path d=\"M0,-5.5 L5,4 L-5,4 Z\"/>",
        "<path d=\"M0,-5.5 L5.5,0 L0,5.5 L-5.5,0 Z\"/>",
        "<path d=\"M0,5.5 L5,-4 L-5,-4 Z\"/>",
        "<path d=\"M-1.6,-5 H1.6 V-1.6 H5 V1.6 H1.6 V5 H-1.6 V1.6 H-5 V-1.6 H-1.6 Z\"/>",
        "<path d=\"M-4.5,-3 L-3,-4.5 L0,-1.5 L3,-4.5 L4.5,-3 L1.5,0 L4.5,3 L3,4.5 L0,1.5 L-3,4.5 "
        "L-4.5,3 L-1.5,0 Z\"/>",
        "<path d=\"M0,-5.5 L1.5,-1.8 L5.3,-1.7 L2.3,0.8 L3.3,4.5 L0,2.3 L-3.3,4.5 L-2.3,0.8 "
        "L-5.3,-1.7 L-1.5,-1.8 Z\"/>",
        "<path d=\"M-2.5,-4.5 H2.5 L5,0 L2.5,4.5 H-2.5 L-5,0 Z\"/>",
        "<path d=\"M-5,-4.5 H5 V-1.5 H-5 Z M-5,1.5 H5 V4.5 H-5 Z\"/>",
    };
    return QLatin1String(shapes[static_cast<size_t>(place) % shapes.size()]);
}

void writeSpeedChart(QTextStream &out, const SpeedSummary &summary, qint32 session)
{
    const Readings &readings = summary.readings;
    QList<const ModelSummary *> models;
    for (const ModelSummary &model : summary.models) {
        if (model.session == session)
            models << &model;
    }
    QList<size_t> setAside;
    for (const SetAside &aside : summary.setAside) {
        const SpeedPress &speed = readings.speeds[aside.speed];
        if (speed.session == session && !speed.refused())
            setAside << aside.speed;
    }
    double earliest = std::numeric_limits<double>::max();
    double latest = std::numeric_limits<double>::lowest();
    double lowest = std::numeric_limits<double>::max();
    double highest = std::numeric_limits<double>::lowest();
    const auto include = [&](size_t index) {
        const SpeedPress &speed = readings.speeds[index];
        const double seconds
            = static_cast<double>(speed.time().localMicroseconds()) / MicrosecondsPerSecond;
        earliest = std::min(earliest, seconds);
        latest = std::max(latest, seconds);
        lowest = std::min(lowest, speed.bestMph());
        highest = std::max(highest, speed.bestMph());
    };
    for (const ModelSummary *model : models) {
        for (const size_t index : model->passes)
            include(index);
    }
    for (const size_t index : setAside)
        include(index);
    if (earliest > latest)
        return;
    if (latest - earliest < 10) {
        earliest -= 5;
        latest += 5;
    }
    if (highest - lowest < 1) {
        lowest -= 0.5;
        highest += 0.5;
    }
    const double speedStep = niceStep(highest - lowest);
    const double lowestTick = std::floor(lowest / speedStep) * speedStep;
    const double highestTick = std::ceil(highest / speedStep) * speedStep;
    // A little room beyond the outer ticks, so that a pass on one is not drawn on the frame.
    const double room = (highestTick - lowestTick) * 0.04;
    const Scale y {lowestTick - room, highestTick + room, Height - Bottom, Top};
    const double margin = (latest - earliest) * 0.03;
    const Scale x {earliest - margin, latest + margin, Left, Width - Right};
    const double timeStep = timeStepSeconds(x.to - x.from);

    out << QStringLiteral("<svg class=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" "
                          "viewBox=\"0 0 %1 %2\" role=\"img\" aria-label=\"%3\">\n")
               .arg(Width)
               .arg(Height)
               .arg(escapedHtml(QStringLiteral("Full-size speed of every pass of %1")
                                    .arg(sessionName(summary, session))));
    out << QStringLiteral("<g class=\"axes\" font-size=\"10\" fill=\"#333\">\n");
    for (double mph = lowestTick; mph <= highestTick + speedStep / 2; mph += speedStep) {
        out << QStringLiteral("<line x1=\"%1\" x2=\"%2\" y1=\"%3\" y2=\"%3\" stroke=\"#ddd\"/>"
                              "<text x=\"%4\" y=\"%5\" text-anchor=\"end\">%6</text>\n")
                   .arg(Left)
                   .arg(Width - Right)
                   .arg(number(y(mph)))
                   .arg(Left - 4)
                   .arg(number(y(mph) + 3.5))
                   .arg(QString::number(mph, 'g', 6));
    }
    for (double second = std::ceil(x.from / timeStep) * timeStep; second <= x.to;
         second += timeStep) {
        out << QStringLiteral("<line x1=\"%1\" x2=\"%1\" y1=\"%2\" y2=\"%3\" stroke=\"#ddd\"/>"
                              "<text x=\"%1\" y=\"%4\" text-anchor=\"middle\">%5</text>\n")
                   .arg(number(x(second)))
                   .arg(Top)
                   .arg(Height - Bottom)
                   .arg(Height - Bottom + 13)
                   .arg(clockTime(static_cast<qint64>(second * MicrosecondsPerSecond)));
    }
    out << QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">time of day</text>\n"
                          "<text transform=\"translate(12 %3) rotate(-90)\" "
                          "text-anchor=\"middle\">full-size mph</text>\n")
               .arg((Left + Width - Right) / 2)
               .arg(Height - 4)
               .arg((Top + Height - Bottom) / 2);
    out << QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"none\" "
                          "stroke=\"#555\"/>\n</g>\n")
               .arg(Left)
               .arg(Top)
               .arg(Width - Right - Left)
               .arg(Height - Bottom - Top);

    const auto at = [&](const SpeedPress &speed) {
        return QStringLiteral("translate(%1 %2)")
            .arg(number(x(static_cast<double>(speed.time().localMicroseconds())
                          / MicrosecondsPerSecond)),
                 number(y(speed.bestMph())));
    };
    for (qsizetype place = 0; place < models.size(); ++place) {
        const ModelSummary &model = *models[place];
        const QString colour = modelColour(place);
        const QString name = modelName(summary, model.firstCode, model.secondCode);
        out << QStringLiteral("<line class=\"median\" x1=\"%1\" x2=\"%2\" y1=\"%3\" y2=\"%3\" "
                              "stroke=\"%4\" stroke-width=\"1.2\" stroke-dasharray=\"6 3\">"
                              "<title>%5: median %6 mph</title></line>\n")
                   .arg(Left)
                   .arg(Width - Right)
                   .arg(number(y(model.medianMph)))
                   .arg(colour, escapedHtml(name), fixed(model.medianMph, 2));
        for (const size_t index : model.passes) {
            const SpeedPress &speed = readings.speeds[index];
            const bool outlier = std::find(model.outliers.begin(), model.outliers.end(), index)
                != model.outliers.end();
            QString title = QStringLiteral("%1 %2: %3 mph")
                                .arg(timeOfDay(speed.time()), name, fixed(speed.bestMph(), 2));
            if (outlier)
                title += QStringLiteral(", left out as an outlier");
            out << QStringLiteral("<g class=\"pass\" transform=\"%1\" fill=\"%2\"><title>%3</title>"
                                  "%4%5</g>\n")
                       .arg(at(speed), colour, escapedHtml(title), modelShape(place),
                            outlier ? QStringLiteral("<circle class=\"outlier\" r=\"8.5\" "
                                                     "fill=\"none\" stroke=\"#E00000\" "
                                                     "stroke-width=\"1.6\"/>")
                                    : QString());
        }
    }
    for (const size_t index : setAside) {
        const SpeedPress &speed = readings.speeds[index];
        out << QStringLiteral("<g class=\"aside\" transform=\"%1\" stroke=\"#999\" "
                              "stroke-width=\"1.4\"><title>%2 %3: %4 mph, not averaged in</title>"
                              "<path d=\"M-3,-3 L3,3 M-3,3 L3,-3\"/></g>\n")
                   .arg(at(speed), timeOfDay(speed.time()),
                        escapedHtml(modelName(summary, speed.firstCode, speed.secondCode)),
                        fixed(speed.bestMph(), 2));
    }
    out << QStringLiteral("</svg>\n");
}
