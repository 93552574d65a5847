// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

// bench-speedaccuracy: how close the speed that Pelmar shows comes to the true speed of a pass.

#include "benchsupport.h"
#include "conversions.h"
#include "csvrows.h"
#include "form1.h"
#include "messagebox.h"
#include "readschedule.h"
#include "result.h"
#include "runtimeerror.h"
#include "timeofday.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QApplication>
#include <QByteArray>
#include <QEventLoop>
#include <QList>
#include <QLocale>
#include <QObject>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionMatch>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

using Benchmark::Clock;
using Benchmark::Summary;

// What the simulator plays without being told otherwise: the barcodes, and the distance between
// them, which is also the window's default.
const Options Simulated;
// Bits in the significand of a float after the leading one.
constexpr int FloatFractionBits = 23;
// Room after each pass for the Speed click before the next pass starts.
constexpr double PassSpacingSeconds = 0.6;
constexpr double SimulatorDelaySeconds = 0.3;
// Allowance on top of the planned length of a run before it is given up.
constexpr int OverrunMilliseconds = 5000;
constexpr int SimulatorStartMilliseconds = 5000;
constexpr int SimulatorStopMilliseconds = 3000;
// The exact time between two reads may be off by the time of one character on the line.
constexpr double ExactTargetMicroseconds = CharacterSeconds * 1e6;

struct Pass
{
    float scan1 = 0;
    float scan2 = 0;
    // Both NaN unless Speed showed a full-size speed and listed the rounded one.
    double shownFullMph = NAN;
    double listedMph = NAN;
    bool late = false;
    QString problem;
    // Between the two reads' lines going into the list, by the steady clock: how far Pelmar's
    // stamps were off in time, before any float rounding.
    double listedGap = 0;
    // The session log's exact_seconds and exact_full_mph for the pass, NaN when missing.
    double exactSeconds = NAN;
    double exactFullMph = NAN;
};

struct Point
{
    double trueMph = 0;
    double gapSeconds = 0;
    std::vector<Pass> passes;
    QStringList problems;
};

// The spacing of single-precision numbers around time: a read time is off by up to half of it.
double floatStep(float time)
{
    return std::ldexp(1.0, std::ilogb(time) - FloatFractionBits);
}

// The difference of two read times is off by up to one float step, however exact the clock.
double relativeFloor(const Pass &pass, double gap)
{
    return floatStep(std::max(pass.scan1, pass.scan2)) / gap;
}

double relativeTarget(const Pass &pass, double gap)
{
    return relativeFloor(pass, gap) + CharacterSeconds / gap;
}

// Start to start, nearly T + PassSpacingSeconds but set so that each pass begins 1/passes of a
// float step later against the float grid than the one before. The passes then see every
// rounding of the read times in equal measure, rather than one rounding over and over.
double passSpacing(double gap, int passes)
{
    const double step = floatStep(timeOfDay());
    return (std::floor((gap + PassSpacingSeconds) / step) + 1.0 / passes) * step;
}

// The one group of pattern in text, when text matches.
std::optional<QString> matched(const char *pattern, const QString &text)
{
    const QRegularExpressionMatch match
        = QRegularExpression(QString::fromLatin1(pattern)).match(text);
    return match.hasMatch() ? std::optional(match.captured(1)) : std::nullopt;
}

// The exact time and full-size speed of the speed row that the log has just written.
void readExactColumns(const QString &logPath, Pass &pass)
{
    const QList<QStringList> rows = csvRowsOf(logPath);
    const QStringList header = rows.value(0);
    const QStringList last = rows.value(rows.size() - 1);
    bool secondsRead = false;
    bool speedRead = false;
    const double seconds
        = last.value(header.indexOf(QStringLiteral("exact_seconds"))).toDouble(&secondsRead);
    const double fullMph
        = last.value(header.indexOf(QStringLiteral("exact_full_mph"))).toDouble(&speedRead);
    if (secondsRead && speedRead) {
        pass.exactSeconds = seconds;
        pass.exactFullMph = fullMph;
    } else {
        pass.problem = QStringLiteral("the log's speed row has no exact columns");
    }
}

QString lineOf(const Form1 &form, int row)
{
    return form.List1->model()->index(row, 0).data().toString();
}

// Presses Speed for the pair that has just ended and reads back what the window shows.
Pass measurePass(Form1 &form, const QStringList &messages)
{
    Pass pass;
    pass.scan1 = form.Scan1;
    pass.scan2 = form.Scan2;
    // A lost or merged read puts the pairs out of step, and every later pass is then nonsense.
    if (!lineOf(form, 0).endsWith(QString::fromStdString(Simulated.barcodes[1]))
        || !lineOf(form, 1).endsWith(QString::fromStdString(Simulated.barcodes[0]))) {
        pass.problem = QStringLiteral("reads out of step: \"%1\" over \"%2\"")
                           .arg(lineOf(form, 0), lineOf(form, 1));
        return pass;
    }
    const qsizetype messagesBefore = messages.size();
    form.Speed->click();
    if (messages.size() != messagesBefore + 1) {
        pass.problem
            = QStringLiteral("Speed showed %1 messages").arg(messages.size() - messagesBefore);
        return pass;
    }
    const auto shown
        = matched("^Real speed = \\S+mph That would be (\\S+)mph in real life!$", messages.last());
    const auto listed = matched("^(-?\\d+) MPH$", lineOf(form, 0));
    if (shown && listed) {
        pass.shownFullMph = Val(*shown);
        pass.listedMph = listed->toInt();
        form.sessionLog().waitForWritten();
        readExactColumns(form.sessionLog().path(), pass);
    } else {
        pass.problem = QStringLiteral("Speed showed \"%1\" and listed \"%2\"")
                           .arg(messages.last(), lineOf(form, 0));
    }
    return pass;
}

// A window on the simulator's line until every pass has come in or the time planned is over;
// closing the line at the end stops the simulator if it has not stopped itself.
void watchPasses(const QString &device, int passes, double plannedSeconds, QStringList &messages,
                 Point &point)
{
    const QTemporaryDir folder;
    Form1 form;
    form.Comm1.setDevicePath(device);
    if (const Result<> log = form.openLog(folder.filePath(QStringLiteral("session.csv"))); !log) {
        point.problems << QStringLiteral("no session log: ") + log.error();
        return;
    }
    try {
        form.load();
    } catch (const RunTimeError &error) {
        point.problems << error.message();
        return;
    }
    QEventLoop loop;
    Clock::time_point firstListedAt;
    QObject::connect(form.List1->model(), &QAbstractItemModel::rowsInserted, &form, [&] {
        const Clock::time_point listedAt = Clock::now();
        const std::optional<QString> read = matched("^(\\d+)\\. ", lineOf(form, 0));
        if (!read)
            return;
        if (read->toInt() % 2 != 0) {
            firstListedAt = listedAt;
            return;
        }
        const double listedGap = std::chrono::duration<double>(listedAt - firstListedAt).count();
        // Out of the receive handler first, as a user's click would be.
        QTimer::singleShot(0, &form, [&, listedGap] {
            point.passes.push_back(measurePass(form, messages));
            point.passes.back().listedGap = listedGap;
            if (static_cast<int>(point.passes.size()) == passes)
                loop.quit();
        });
    });
    QTimer::singleShot(static_cast<int>(plannedSeconds * 1000) + OverrunMilliseconds, &loop,
                       &QEventLoop::quit);
    loop.exec();
}

// The simulator logs "late: ..." right after the read it concerns, and each pass begins with a
// "pass at ..." line.
void markLatePasses(const QByteArray &log, std::vector<Pass> &passes)
{
    std::size_t pass = 0;
    for (const QByteArray &line : log.split('\n')) {
        if (line.startsWith("pass at "))
            ++pass;
        else if (line.startsWith("late: ") && pass > 0 && pass <= passes.size())
            passes[pass - 1].late = true;
    }
}

void printPass(const Point &point, int index, const Pass &pass)
{
    const double gap = static_cast<double>(pass.scan2) - static_cast<double>(pass.scan1);
    std::printf("  %g mph pass %d at %.3f s: reads %.6f s apart (true %.6f, clock %+.0f us)",
                point.trueMph, index + 1, static_cast<double>(pass.scan1), gap, point.gapSeconds,
                (pass.listedGap - point.gapSeconds) * 1e6);
    if (!std::isnan(pass.shownFullMph))
        std::printf(", shown %.10g mph, error %+.4f%%, listed %.0f", pass.shownFullMph,
                    100 * (pass.shownFullMph / point.trueMph - 1), pass.listedMph);
    if (!pass.problem.isEmpty())
        std::printf(", %s", qPrintable(pass.problem));
    std::printf("%s\n", pass.late ? ", sent late" : "");
    std::fflush(stdout);
}

Point runPoint(double trueMph, int passes, bool verbose, QStringList &messages)
{
    Point point {trueMph, secondsBetweenReads(trueMph, Simulated.distanceInches), {}, {}};
    const double everySeconds = passSpacing(point.gapSeconds, passes);
    QProcess simulator;
    simulator.start(QStringLiteral(SCANNER_SIM_PATH),
                    {QStringLiteral("--pass"), QString::number(trueMph, 'g', 17),
                     QStringLiteral("--every"), QString::number(everySeconds, 'g', 17),
                     QStringLiteral("--count"), QString::number(passes), QStringLiteral("--delay"),
                     QString::number(SimulatorDelaySeconds)});
    if (simulator.waitForReadyRead(SimulatorStartMilliseconds))
        watchPasses(QString::fromLocal8Bit(simulator.readLine().trimmed()), passes,
                    SimulatorDelaySeconds + passes * everySeconds, messages, point);
    else
        point.problems << QStringLiteral("the simulator did not start: ")
                + QString::fromLocal8Bit(simulator.readAllStandardError()).trimmed();
    if (!simulator.waitForFinished(SimulatorStopMilliseconds)) {
        simulator.kill();
        simulator.waitForFinished(SimulatorStopMilliseconds);
    }
    markLatePasses(simulator.readAllStandardOutput(), point.passes);
    for (std::size_t pass = 0; verbose && pass < point.passes.size(); ++pass)
        printPass(point, static_cast<int>(pass), point.passes[pass]);
    if (static_cast<int>(point.passes.size()) < passes)
        point.problems
            << QStringLiteral("only %1 of %2 passes came in").arg(point.passes.size()).arg(passes);
    for (const Pass &pass : point.passes) {
        if (!pass.problem.isEmpty())
            point.problems << pass.problem;
    }
    return point;
}

// The size of a figure of a pass that the simulator sent on time; NaN for a late one.
template<typename Figure> auto onTime(Figure figure)
{
    return [figure](const Pass &pass) { return pass.late ? NAN : std::abs(figure(pass)); };
}

// Prints the point's row of the table and adds to its problems why a pass missed its target. Late
// passes are the machine's fault, so the verdict rests on the passes sent on time, but a pass that
// never came in, or came in as nonsense, is Pelmar's to answer for.
bool printRow(Point &point, int passes)
{
    const double gap = point.gapSeconds;
    const auto error = [&point](const Pass &pass) { return pass.shownFullMph / point.trueMph - 1; };
    const auto absoluteError = [&](const Pass &pass) { return std::abs(error(pass)); };
    // A systematic offset of the stamps, free of float steps and of the odd stalled pass.
    const auto timing = [gap](const Pass &pass) {
        return std::isnan(pass.shownFullMph) ? NAN : (pass.listedGap - gap) * 1e6;
    };
    int late = 0;
    int onTimeMisses = 0;
    for (std::size_t index = 0; index < point.passes.size(); ++index) {
        const Pass &pass = point.passes[index];
        late += pass.late ? 1 : 0;
        if (pass.late || !(absoluteError(pass) > relativeTarget(pass, gap)))
            continue;
        ++onTimeMisses;
        point.problems << QStringLiteral("pass %1 missed: error %2%, target %3%; by a nanosecond "
                                         "clock its reads were listed %4 us off the true gap")
                              .arg(index + 1)
                              .arg(100 * error(pass), 0, 'f', 4)
                              .arg(100 * relativeTarget(pass, gap), 0, 'f', 4)
                              .arg(timing(pass), 0, 'f', 0);
    }
    const auto summary = [&point](auto figure) { return Summary(point.passes, figure); };
    const Summary errors = summary(error);
    const Summary onTimeErrors = summary(onTime(error));
    const Summary listedErrors
        = summary([&point](const Pass &pass) { return std::abs(pass.listedMph - point.trueMph); });
    const Summary floors = summary([gap](const Pass &pass) { return relativeFloor(pass, gap); });
    const Summary targets = summary([gap](const Pass &pass) { return relativeTarget(pass, gap); });
    const bool within = errors.count() == passes && onTimeErrors.count() > 0 && onTimeMisses == 0;
    std::printf(
        "%8g %9.6f %6s %4d %+10.4f %9.4f %9.4f %7.1f %7.0f %7.0f %8.4f %8.4f %6s\n", point.trueMph,
        gap, qPrintable(QStringLiteral("%1/%2").arg(errors.count()).arg(passes)), late,
        100 * errors.median(), 100 * summary(absoluteError).maximum(), 100 * onTimeErrors.maximum(),
        listedErrors.maximum(), summary(timing).median(), summary(onTime(timing)).maximum(),
        100 * floors.maximum(), 100 * targets.maximum(), within ? "yes" : "NO");
    return within;
}

// The row of the session log's exact columns for the point: the time between the reads by the
// monotonic clock against the true time, and the full-size speed worked out from it against the
// true speed. As above, the verdict rests on the passes sent on time.
bool printExactRow(Point &point, int passes)
{
    const double gap = point.gapSeconds;
    const auto timeError = [gap](const Pass &pass) { return (pass.exactSeconds - gap) * 1e6; };
    const auto speedError
        = [&point](const Pass &pass) { return pass.exactFullMph / point.trueMph - 1; };
    for (std::size_t index = 0; index < point.passes.size(); ++index) {
        if (onTime(timeError)(point.passes[index]) >= ExactTargetMicroseconds)
            point.problems << QStringLiteral("pass %1: exact_seconds %2 us off the true time")
                                  .arg(index + 1)
                                  .arg(timeError(point.passes[index]), 0, 'f', 0);
    }
    const Summary times(point.passes, timeError);
    const Summary onTimeTimes(point.passes, onTime(timeError));
    const bool within = times.count() == passes && onTimeTimes.count() > 0
        && onTimeTimes.maximum() < ExactTargetMicroseconds;
    std::printf("%8g %9.6f %6s %+10.0f %10.0f %10.4f %6s\n", point.trueMph, gap,
                qPrintable(QStringLiteral("%1/%2").arg(times.count()).arg(passes)), times.median(),
                onTimeTimes.maximum(), 100 * Summary(point.passes, onTime(speedError)).maximum(),
                within ? "yes" : "NO");
    return within;
}

void printExactHeading()
{
    std::printf(
        "\nThe session log's exact columns: the time between the two reads by the monotonic "
        "clock, and the speed from it\n"
        "  time: exact_seconds - T, median (all passes) and worst (on-time passes); speed: worst "
        "error of exact_full_mph (on-time passes)\n"
        "  target: a time error under one character time (%.0f us) for every on-time pass\n\n",
        ExactTargetMicroseconds);
    const char *const columns = "%8s %9s %6s %10s %10s %10s %6s\n";
    std::printf(columns, "true mph", "T (s)", "passes", "time", "time", "speed", "within");
    std::printf(columns, "", "", "", "median us", "worst us", "worst %", "");
}

void printHeading(int passes, int hogs, const QTime &start, const QTime &end)
{
    std::printf("Speed accuracy: %d passes a speed, barcodes %g in apart, 1:87, Speed pressed "
                "after each pass\n",
                passes, Simulated.distanceInches);
    std::printf("  run from %s to %s local time (%.0f s to %.0f s since midnight; a float step "
                "there is %.3f ms)\n",
                qPrintable(start.toString(QStringLiteral("HH:mm:ss"))),
                qPrintable(end.toString(QStringLiteral("HH:mm:ss"))),
                start.msecsSinceStartOfDay() / 1000.0, end.msecsSinceStartOfDay() / 1000.0,
                floatStep(static_cast<float>(start.msecsSinceStartOfDay() / 1000.0)) * 1000);
    std::printf("  %s, %d CPU hogs beside the run\n", Benchmark::loadAverage().c_str(), hogs);
    std::printf(
        "  err: relative error of the shown full-size speed; \"on time\": without the passes "
        "the simulator sent late\n"
        "  listed: worst error of the listed speed, mph; offset and timing: median (all passes) "
        "and worst (on-time passes)\n"
        "  error of the time between the reads by a nanosecond clock, before float rounding\n"
        "  floor: float step / T; target: floor + one character time / T, for every on-time "
        "pass\n\n");
    const char *const columns = "%8s %9s %6s %4s %10s %9s %9s %7s %7s %7s %8s %8s %6s\n";
    std::printf(columns, "true mph", "T (s)", "passes", "late", "median", "worst", "on time",
                "listed", "offset", "timing", "floor", "target", "within");
    std::printf(columns, "", "", "", "", "err %", "err %", "worst %", "worst", "us", "us", "%", "%",
                "");
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // The window writes numbers with the locale's decimal separator; in the C locale that is the
    // period Val reads, so the shown speed is read back exactly as written.
    QLocale::setDefault(QLocale::c());
    const Benchmark::CommandLine commandLine(
        QStringLiteral("Measures how far the full-size speed that Pelmar shows, and the rounded "
                       "speed it lists, are from the true speed of simulated passes of a 1:87 "
                       "model."),
        {{"speeds", "Full-size speeds in mph, comma separated.", "LIST",
          "10,20,40,60,80,100,150,200,250,300"},
         {"passes", "Passes at each speed (default 10).", "N", "10"},
         {"verbose", "Print every pass as it is measured."},
         {"hogs", "Threads kept busy beside the run, as other work (default 0).", "N", "0"}});
    const int passes = commandLine.number("passes", 1);
    std::vector<double> speeds;
    for (const QString &speed : commandLine.value("speeds").split(u',')) {
        bool ok = false;
        speeds.push_back(speed.trimmed().toDouble(&ok));
        if (!ok || !(speeds.back() > 0))
            Benchmark::fail("--speeds must be numbers above 0");
    }
    QStringList messages;
    setMessageHandler([&messages](const QString &text) { messages << text; });
    const int hogs = commandLine.number("hogs", 0);
    const QTime start = QTime::currentTime();
    std::vector<Point> points;
    {
        const Benchmark::Hogs busy(hogs);
        for (const double speed : speeds)
            points.push_back(runPoint(speed, passes, commandLine.isSet("verbose"), messages));
    }
    const QTime end = QTime::currentTime();
    setMessageHandler({});

    printHeading(passes, hogs, start, end);
    bool allWithin = true;
    for (Point &point : points)
        allWithin = printRow(point, passes) && allWithin;
    printExactHeading();
    bool allExactWithin = true;
    for (Point &point : points)
        allExactWithin = printExactRow(point, passes) && allExactWithin;
    for (const Point &point : points) {
        for (const QString &problem : point.problems)
            std::printf("  %g mph: %s\n", point.trueMph, qPrintable(problem));
    }
    Benchmark::Verdicts verdicts;
    verdicts.check(allWithin, "shown speed within its floor and one character time, every speed");
    verdicts.check(allExactWithin, "exact time error under %.0f us, every speed",
                   ExactTargetMicroseconds);
    return verdicts.allMet() ? 0 : 1;
}
