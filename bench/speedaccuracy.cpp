// bench-speedaccuracy: how close the speed that Pelmar shows comes to the true speed of a pass.
//
// For each full-size speed a scanner simulator plays passes of a 1:87 model at exactly that speed
// into an unchanged window, character by character at the line rate. After the second read of
// each pass the bench presses Speed and takes the full-size speed from the message text and the
// rounded speed from the top of the list. The read times are single-precision seconds since
// midnight, so the time between two reads cannot be better than one float step at that time of
// day: that is the floor. The target allows one character time of timing error above it.

#include "benchsupport.h"
#include "conversions.h"
#include "form1.h"
#include "messagebox.h"
#include "runtimeerror.h"
#include "timeofday.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCommandLineParser>
#include <QEventLoop>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr double ModelScale = 87;
constexpr double InchesPerFoot = 12;
constexpr double FeetPerMile = 5280;
constexpr double SecondsPerHour = 3600;
// The window's default distance; the simulator assumes the same when given no --distance.
constexpr double DistanceInches = 12;
// Start bit, 7 data bits, parity bit and 2 stop bits at 9600 baud.
constexpr double CharacterSeconds = 11.0 / 9600.0;
// Bits in the significand of a float after the leading one.
constexpr int FloatFractionBits = 23;
// Room after each pass for the Speed click before the next pass starts.
constexpr double PassSpacingSeconds = 0.6;
constexpr double SimulatorDelaySeconds = 0.3;
// Allowance on top of the planned length of a run before it is given up.
constexpr int OverrunMilliseconds = 5000;
constexpr int SimulatorStartMilliseconds = 5000;
constexpr int SimulatorStopMilliseconds = 3000;
const QString FirstBarcode = QStringLiteral("012345678905");
const QString SecondBarcode = QStringLiteral("036000291452");

struct Options
{
    std::vector<double> speeds {10, 20, 40, 60, 80, 100, 150, 200, 250, 300};
    int passes = 10;
    bool verbose = false;
};

struct Pass
{
    float scan1 = 0;
    float scan2 = 0;
    std::optional<double> shownFullMph;
    std::optional<int> listedMph;
    bool late = false;
    QString problem;
    // Between the two reads' lines going into the list, by a nanosecond clock: how far Pelmar's
    // stamps were off in time, before any float rounding.
    double listedGap = 0;
};

struct Point
{
    double trueMph = 0;
    double gapSeconds = 0;
    std::vector<Pass> passes;
    QStringList problems;
};

// The time between the last characters of the two reads of a pass at this full-size speed.
double gapSeconds(double fullSizeMph)
{
    const double modelFeetPerSecond = fullSizeMph / ModelScale * FeetPerMile / SecondsPerHour;
    return DistanceInches / InchesPerFoot / modelFeetPerSecond;
}

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

double relativeError(const Pass &pass, double trueMph)
{
    return *pass.shownFullMph / trueMph - 1;
}

std::optional<std::vector<double>> parseSpeeds(const QString &text)
{
    std::vector<double> speeds;
    for (const QString &part : text.split(u',')) {
        bool ok = false;
        const double speed = part.trimmed().toDouble(&ok);
        if (!ok || !(speed > 0))
            return std::nullopt;
        speeds.push_back(speed);
    }
    return speeds;
}

std::optional<Options> parseOptions(const QCoreApplication &application)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures how far the full-size speed that Pelmar shows, and the rounded speed it lists, "
        "are from the true speed of simulated passes of a 1:87 model."));
    parser.addHelpOption();
    const QCommandLineOption speedsOption(
        QStringLiteral("speeds"),
        QStringLiteral("Full-size speeds in mph, comma separated (default "
                       "10,20,40,60,80,100,150,200,250,300)."),
        QStringLiteral("LIST"));
    const QCommandLineOption passesOption(QStringLiteral("passes"),
                                          QStringLiteral("Passes at each speed (default 10)."),
                                          QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("Print every pass as it is measured."));
    parser.addOptions({speedsOption, passesOption, verboseOption});
    parser.process(application);

    Options options;
    if (parser.isSet(speedsOption)) {
        const std::optional<std::vector<double>> speeds = parseSpeeds(parser.value(speedsOption));
        if (!speeds) {
            std::fprintf(stderr, "bench-speedaccuracy: --speeds must be numbers above 0\n");
            return std::nullopt;
        }
        options.speeds = *speeds;
    }
    bool passesOk = false;
    options.passes = parser.value(passesOption).toInt(&passesOk);
    if (!passesOk || options.passes < 1) {
        std::fprintf(stderr, "bench-speedaccuracy: --passes must be at least 1\n");
        return std::nullopt;
    }
    options.verbose = parser.isSet(verboseOption);
    return options;
}

std::optional<double> shownFullSpeed(const QString &message)
{
    static const QRegularExpression pattern(
        QStringLiteral("^Real speed = (\\S+)mph That would be (\\S+)mph in real life!$"));
    const QRegularExpressionMatch match = pattern.match(message);
    if (!match.hasMatch())
        return std::nullopt;
    return Val(match.captured(2));
}

std::optional<int> listedSpeed(const QString &line)
{
    static const QRegularExpression pattern(QStringLiteral("^(-?\\d+) MPH$"));
    const QRegularExpressionMatch match = pattern.match(line);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toInt();
}

// The read number of a read line ("7. 036000291452"), or nothing for a speed line.
std::optional<int> readNumber(const QString &line)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d+)\\. "));
    const QRegularExpressionMatch match = pattern.match(line);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toInt();
}

// The simulator logs "late: ..." right after the read it concerns, and each pass begins with a
// "pass at ..." line.
std::vector<bool> latePasses(const QByteArray &log, int passes)
{
    std::vector<bool> late(std::size_t(passes), false);
    int pass = -1;
    for (const QByteArray &line : log.split('\n')) {
        if (line.startsWith("pass at "))
            ++pass;
        else if (line.startsWith("late: ") && pass >= 0 && pass < passes)
            late[std::size_t(pass)] = true;
    }
    return late;
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
    if (!lineOf(form, 0).endsWith(SecondBarcode) || !lineOf(form, 1).endsWith(FirstBarcode)) {
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
    pass.shownFullMph = shownFullSpeed(messages.last());
    pass.listedMph = listedSpeed(lineOf(form, 0));
    if (!pass.shownFullMph || !pass.listedMph)
        pass.problem = QStringLiteral("Speed showed \"%1\" and listed \"%2\"")
                           .arg(messages.last(), lineOf(form, 0));
    return pass;
}

void printPass(const Point &point, int index, const Pass &pass)
{
    const double gap = double(pass.scan2) - double(pass.scan1);
    std::printf("  %g mph pass %d at %.3f s: reads %.6f s apart (true %.6f, clock %+.0f us)",
                point.trueMph, index + 1, double(pass.scan1), gap, point.gapSeconds,
                (pass.listedGap - point.gapSeconds) * 1e6);
    if (pass.shownFullMph)
        std::printf(", shown %.10g mph, error %+.4f%%, listed %d", *pass.shownFullMph,
                    100 * relativeError(pass, point.trueMph), pass.listedMph.value_or(0));
    if (!pass.problem.isEmpty())
        std::printf(", %s", qPrintable(pass.problem));
    std::printf("%s\n", pass.late ? ", sent late" : "");
    std::fflush(stdout);
}

Point runPoint(double trueMph, const Options &options, QStringList &messages)
{
    Point point;
    point.trueMph = trueMph;
    point.gapSeconds = gapSeconds(trueMph);
    const double everySeconds = passSpacing(point.gapSeconds, options.passes);

    QProcess simulator;
    simulator.start(QStringLiteral(SCANNER_SIM_PATH),
                    {QStringLiteral("--pass"), QString::number(trueMph, 'g', 17),
                     QStringLiteral("--every"), QString::number(everySeconds, 'g', 17),
                     QStringLiteral("--count"), QString::number(options.passes),
                     QStringLiteral("--delay"), QString::number(SimulatorDelaySeconds)});
    if (!simulator.waitForReadyRead(SimulatorStartMilliseconds)) {
        point.problems << QStringLiteral("the simulator did not start: ")
                + QString::fromLocal8Bit(simulator.readAllStandardError()).trimmed();
        simulator.kill();
        simulator.waitForFinished(SimulatorStopMilliseconds);
        return point;
    }
    auto form = std::make_unique<Form1>();
    form->Comm1.setDevicePath(QString::fromLocal8Bit(simulator.readLine().trimmed()));
    try {
        form->load();
    } catch (const RunTimeError &error) {
        point.problems << error.message();
        simulator.kill();
        simulator.waitForFinished(SimulatorStopMilliseconds);
        return point;
    }

    QEventLoop loop;
    Form1 *const window = form.get();
    std::chrono::steady_clock::time_point firstListedAt;
    QObject::connect(window->List1->model(), &QAbstractItemModel::rowsInserted, window, [&] {
        const auto listedAt = std::chrono::steady_clock::now();
        const std::optional<int> read = readNumber(lineOf(*window, 0));
        if (!read)
            return;
        if (*read % 2 != 0) {
            firstListedAt = listedAt;
            return;
        }
        const double listedGap = std::chrono::duration<double>(listedAt - firstListedAt).count();
        // Out of the receive handler first, as a user's click would be.
        QTimer::singleShot(0, window, [&, listedGap] {
            point.passes.push_back(measurePass(*window, messages));
            point.passes.back().listedGap = listedGap;
            if (int(point.passes.size()) == options.passes)
                loop.quit();
        });
    });
    const double plannedSeconds = SimulatorDelaySeconds + options.passes * everySeconds;
    QTimer::singleShot(int(plannedSeconds * 1000) + OverrunMilliseconds, &loop, &QEventLoop::quit);
    loop.exec();

    form.reset(); // closing the line stops the simulator if it has not stopped itself
    if (!simulator.waitForFinished(SimulatorStopMilliseconds)) {
        simulator.kill();
        simulator.waitForFinished(SimulatorStopMilliseconds);
    }

    const std::vector<bool> late = latePasses(simulator.readAllStandardOutput(), options.passes);
    for (std::size_t pass = 0; pass < point.passes.size(); ++pass)
        point.passes[pass].late = late[pass];
    if (options.verbose) {
        for (std::size_t pass = 0; pass < point.passes.size(); ++pass)
            printPass(point, int(pass), point.passes[pass]);
    }
    if (int(point.passes.size()) < options.passes)
        point.problems << QStringLiteral("only %1 of %2 passes came in")
                              .arg(point.passes.size())
                              .arg(options.passes);
    for (const Pass &pass : point.passes) {
        if (!pass.problem.isEmpty())
            point.problems << pass.problem;
    }
    return point;
}

struct Summary
{
    int measured = 0;
    int late = 0;
    double medianError = std::numeric_limits<double>::quiet_NaN();
    double worstError = std::numeric_limits<double>::quiet_NaN();
    double worstOnTimeError = std::numeric_limits<double>::quiet_NaN();
    double worstListedMph = std::numeric_limits<double>::quiet_NaN();
    // Median of the nanosecond-clock time between the reads minus the true one: a systematic
    // offset of the stamps, free of float steps and of the odd stalled pass.
    double medianOffsetMicroseconds = std::numeric_limits<double>::quiet_NaN();
    double worstOnTimeTimingMicroseconds = std::numeric_limits<double>::quiet_NaN();
    double floor = 0;
    double target = 0;
    int onTimeMisses = 0;
    int onTime = 0;
    bool within = false;
    QStringList misses;
};

// NaN when there is nothing yet, so the first value always wins.
void keepLargest(double &largest, double value)
{
    if (!(largest >= value))
        largest = value;
}

Summary summarize(const Point &point, const Options &options)
{
    Summary summary;
    std::vector<double> errors;
    std::vector<double> offsets;
    for (std::size_t index = 0; index < point.passes.size(); ++index) {
        const Pass &pass = point.passes[index];
        summary.late += pass.late ? 1 : 0;
        keepLargest(summary.floor, relativeFloor(pass, point.gapSeconds));
        keepLargest(summary.target, relativeTarget(pass, point.gapSeconds));
        if (!pass.shownFullMph || !pass.listedMph)
            continue;
        ++summary.measured;
        const double error = relativeError(pass, point.trueMph);
        const double timingMicroseconds = (pass.listedGap - point.gapSeconds) * 1e6;
        errors.push_back(error);
        offsets.push_back(timingMicroseconds);
        keepLargest(summary.worstError, std::abs(error));
        keepLargest(summary.worstListedMph, std::abs(*pass.listedMph - point.trueMph));
        if (pass.late)
            continue;
        ++summary.onTime;
        keepLargest(summary.worstOnTimeError, std::abs(error));
        keepLargest(summary.worstOnTimeTimingMicroseconds, std::abs(timingMicroseconds));
        const double target = relativeTarget(pass, point.gapSeconds);
        if (std::abs(error) <= target)
            continue;
        ++summary.onTimeMisses;
        summary.misses << QStringLiteral("pass %1 missed: error %2%, target %3%; by a nanosecond "
                                         "clock its reads were listed %4 us off the true gap")
                              .arg(index + 1)
                              .arg(100 * error, 0, 'f', 4)
                              .arg(100 * target, 0, 'f', 4)
                              .arg(timingMicroseconds, 0, 'f', 0);
    }
    summary.medianError = Benchmark::percentile(errors, 0.5);
    summary.medianOffsetMicroseconds = Benchmark::percentile(offsets, 0.5);
    // Late passes are the machine's fault, so the verdict rests on the passes sent on time, but
    // a pass that never came in, or came in as nonsense, is Pelmar's to answer for.
    summary.within
        = summary.measured == options.passes && summary.onTime > 0 && summary.onTimeMisses == 0;
    return summary;
}

QString clockText(int millisecondsSinceMidnight)
{
    return QTime::fromMSecsSinceStartOfDay(millisecondsSinceMidnight)
        .toString(QStringLiteral("HH:mm:ss"));
}

void printTable(const std::vector<Point> &points, const std::vector<Summary> &summaries,
                const Options &options, int startMilliseconds, int endMilliseconds)
{
    std::printf("Speed accuracy: %d passes a speed, barcodes %g in apart, 1:87, Speed pressed "
                "after each pass\n",
                options.passes, DistanceInches);
    const float startTime = float(startMilliseconds / 1000.0);
    std::printf("  run from %s to %s local time (%.0f s to %.0f s since midnight; a float step "
                "there is %.3f ms)\n",
                qPrintable(clockText(startMilliseconds)), qPrintable(clockText(endMilliseconds)),
                startMilliseconds / 1000.0, endMilliseconds / 1000.0, floatStep(startTime) * 1000);
    std::printf("  %s\n", Benchmark::loadAverage().c_str());
    std::printf(
        "  err: relative error of the shown full-size speed; \"on time\": without the passes "
        "the simulator sent late\n"
        "  listed: worst error of the listed speed, mph; offset and timing: median (all passes) "
        "and worst (on-time passes)\n"
        "  error of the time between the reads by a nanosecond clock, before float rounding\n"
        "  floor: float step / T; target: floor + one character time / T, for every on-time "
        "pass\n\n");
    std::printf("%8s %9s %6s %4s %10s %9s %9s %7s %7s %7s %8s %8s %6s\n", "true mph", "T (s)",
                "passes", "late", "median", "worst", "on time", "listed", "offset", "timing",
                "floor", "target", "within");
    std::printf("%8s %9s %6s %4s %10s %9s %9s %7s %7s %7s %8s %8s %6s\n", "", "", "", "", "err %",
                "err %", "worst %", "worst", "us", "us", "%", "%", "");
    for (std::size_t row = 0; row < points.size(); ++row) {
        const Point &point = points[row];
        const Summary &summary = summaries[row];
        const QString passes = QStringLiteral("%1/%2").arg(summary.measured).arg(options.passes);
        std::printf("%8g %9.6f %6s %4d %+10.4f %9.4f %9.4f %7.1f %7.0f %7.0f %8.4f %8.4f %6s\n",
                    point.trueMph, point.gapSeconds, qPrintable(passes), summary.late,
                    100 * summary.medianError, 100 * summary.worstError,
                    100 * summary.worstOnTimeError, summary.worstListedMph,
                    summary.medianOffsetMicroseconds, summary.worstOnTimeTimingMicroseconds,
                    100 * summary.floor, 100 * summary.target, summary.within ? "yes" : "NO");
    }
    for (std::size_t row = 0; row < points.size(); ++row) {
        for (const QString &problem : points[row].problems + summaries[row].misses)
            std::printf("  %g mph: %s\n", points[row].trueMph, qPrintable(problem));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // The window writes numbers with the locale's decimal separator; in the C locale that is the
    // period Val reads, so the shown speed is read back exactly as written.
    QLocale::setDefault(QLocale::c());
    const std::optional<Options> options = parseOptions(application);
    if (!options)
        return 2;

    QStringList messages;
    setMessageHandler([&messages](const QString &text) { messages << text; });

    const int startMilliseconds = QTime::currentTime().msecsSinceStartOfDay();
    std::vector<Point> points;
    std::vector<Summary> summaries;
    for (const double speed : options->speeds) {
        points.push_back(runPoint(speed, *options, messages));
        summaries.push_back(summarize(points.back(), *options));
    }
    const int endMilliseconds = QTime::currentTime().msecsSinceStartOfDay();
    setMessageHandler({});

    printTable(points, summaries, *options, startMilliseconds, endMilliseconds);
    const bool allWithin = std::all_of(summaries.begin(), summaries.end(),
                                       [](const Summary &summary) { return summary.within; });
    return allWithin ? 0 : 1;
}
