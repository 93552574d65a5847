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
#include "options.h"
#include "readschedule.h"
#include "runtimeerror.h"
#include "timeofday.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QApplication>
#include <QByteArray>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLocale>
#include <QObject>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionMatch>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace {

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

struct Settings
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

std::optional<Settings> parseSettings(const QCoreApplication &application)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Measures how far the full-size speed that Pelmar shows, and the rounded speed it lists, "
        "are from the true speed of simulated passes of a 1:87 model.");
    parser.addHelpOption();
    const QCommandLineOption speeds("speeds",
                                    "Full-size speeds in mph, comma separated (default "
                                    "10,20,40,60,80,100,150,200,250,300).",
                                    "LIST");
    const QCommandLineOption passes("passes", "Passes at each speed (default 10).", "N", "10");
    const QCommandLineOption verbose("verbose", "Print every pass as it is measured.");
    parser.addOptions({speeds, passes, verbose});
    parser.process(application);
    Settings settings;
    settings.verbose = parser.isSet(verbose);
    bool ok = true;
    if (parser.isSet(speeds)) {
        settings.speeds.clear();
        for (const QString &part : parser.value(speeds).split(u',')) {
            settings.speeds.push_back(part.trimmed().toDouble(&ok));
            if (!ok || !(settings.speeds.back() > 0)) {
                std::fprintf(stderr, "bench-speedaccuracy: --speeds must be numbers above 0\n");
                return std::nullopt;
            }
        }
    }
    settings.passes = parser.value(passes).toInt(&ok);
    if (ok && settings.passes >= 1)
        return settings;
    std::fprintf(stderr, "bench-speedaccuracy: --passes must be at least 1\n");
    return std::nullopt;
}

// The one group of pattern in text, when text matches.
std::optional<QString> matched(const char *pattern, const QString &text)
{
    const QRegularExpressionMatch match
        = QRegularExpression(QString::fromLatin1(pattern)).match(text);
    return match.hasMatch() ? std::optional(match.captured(1)) : std::nullopt;
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
    } else {
        pass.problem = QStringLiteral("Speed showed \"%1\" and listed \"%2\"")
                           .arg(messages.last(), lineOf(form, 0));
    }
    return pass;
}

double relativeError(const Pass &pass, double trueMph)
{
    return *pass.shownFullMph / trueMph - 1;
}

void printPass(const Point &point, int index, const Pass &pass)
{
    const double gap = static_cast<double>(pass.scan2) - static_cast<double>(pass.scan1);
    std::printf("  %g mph pass %d at %.3f s: reads %.6f s apart (true %.6f, clock %+.0f us)",
                point.trueMph, index + 1, static_cast<double>(pass.scan1), gap, point.gapSeconds,
                (pass.listedGap - point.gapSeconds) * 1e6);
    if (pass.shownFullMph)
        std::printf(", shown %.10g mph, error %+.4f%%, listed %d", *pass.shownFullMph,
                    100 * relativeError(pass, point.trueMph), pass.listedMph.value_or(0));
    if (!pass.problem.isEmpty())
        std::printf(", %s", qPrintable(pass.problem));
    std::printf("%s\n", pass.late ? ", sent late" : "");
    std::fflush(stdout);
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

Point runPoint(double trueMph, const Settings &settings, QStringList &messages)
{
    Point point {trueMph, secondsBetweenReads(trueMph, Simulated.distanceInches), {}, {}};
    const double everySeconds = passSpacing(point.gapSeconds, settings.passes);

    QProcess simulator;
    simulator.start(QStringLiteral(SCANNER_SIM_PATH),
                    {QStringLiteral("--pass"), QString::number(trueMph, 'g', 17),
                     QStringLiteral("--every"), QString::number(everySeconds, 'g', 17),
                     QStringLiteral("--count"), QString::number(settings.passes),
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
        const std::optional<QString> read = matched("^(\\d+)\\. ", lineOf(*window, 0));
        if (!read)
            return;
        if (read->toInt() % 2 != 0) {
            firstListedAt = listedAt;
            return;
        }
        const double listedGap = std::chrono::duration<double>(listedAt - firstListedAt).count();
        // Out of the receive handler first, as a user's click would be.
        QTimer::singleShot(0, window, [&, listedGap] {
            point.passes.push_back(measurePass(*window, messages));
            point.passes.back().listedGap = listedGap;
            if (static_cast<int>(point.passes.size()) == settings.passes)
                loop.quit();
        });
    });
    const double plannedSeconds = SimulatorDelaySeconds + settings.passes * everySeconds;
    QTimer::singleShot(static_cast<int>(plannedSeconds * 1000) + OverrunMilliseconds, &loop,
                       &QEventLoop::quit);
    loop.exec();

    form.reset(); // closing the line stops the simulator if it has not stopped itself
    if (!simulator.waitForFinished(SimulatorStopMilliseconds)) {
        simulator.kill();
        simulator.waitForFinished(SimulatorStopMilliseconds);
    }
    markLatePasses(simulator.readAllStandardOutput(), point.passes);
    for (std::size_t pass = 0; settings.verbose && pass < point.passes.size(); ++pass)
        printPass(point, static_cast<int>(pass), point.passes[pass]);
    if (static_cast<int>(point.passes.size()) < settings.passes)
        point.problems << QStringLiteral("only %1 of %2 passes came in")
                              .arg(point.passes.size())
                              .arg(settings.passes);
    for (const Pass &pass : point.passes) {
        if (!pass.problem.isEmpty())
            point.problems << pass.problem;
    }
    return point;
}

// Prints the point's row of the table and adds to problems why a pass missed its target. Late
// passes are the machine's fault, so the verdict rests on the passes sent on time, but a pass that
// never came in, or came in as nonsense, is Pelmar's to answer for.
bool printRow(const Point &point, int passes, QStringList &problems)
{
    int late = 0;
    int onTimeMisses = 0;
    std::vector<double> errors;
    std::vector<double> absoluteErrors;
    std::vector<double> listedErrors;
    std::vector<double> offsets;
    std::vector<double> onTimeErrors;
    std::vector<double> onTimeTimings;
    std::vector<double> floors;
    std::vector<double> targets;
    for (std::size_t index = 0; index < point.passes.size(); ++index) {
        const Pass &pass = point.passes[index];
        late += pass.late ? 1 : 0;
        floors.push_back(relativeFloor(pass, point.gapSeconds));
        targets.push_back(relativeTarget(pass, point.gapSeconds));
        if (!pass.shownFullMph || !pass.listedMph)
            continue;
        const double error = relativeError(pass, point.trueMph);
        // A systematic offset of the stamps, free of float steps and of the odd stalled pass.
        const double timingMicroseconds = (pass.listedGap - point.gapSeconds) * 1e6;
        errors.push_back(error);
        absoluteErrors.push_back(std::abs(error));
        listedErrors.push_back(std::abs(*pass.listedMph - point.trueMph));
        offsets.push_back(timingMicroseconds);
        if (pass.late)
            continue;
        onTimeErrors.push_back(std::abs(error));
        onTimeTimings.push_back(std::abs(timingMicroseconds));
        if (std::abs(error) <= targets.back())
            continue;
        ++onTimeMisses;
        problems << QStringLiteral("pass %1 missed: error %2%, target %3%; by a nanosecond "
                                   "clock its reads were listed %4 us off the true gap")
                        .arg(index + 1)
                        .arg(100 * error, 0, 'f', 4)
                        .arg(100 * targets.back(), 0, 'f', 4)
                        .arg(timingMicroseconds, 0, 'f', 0);
    }
    const int measured = static_cast<int>(errors.size());
    const bool within = measured == passes && !onTimeErrors.empty() && onTimeMisses == 0;
    std::printf(
        "%8g %9.6f %6s %4d %+10.4f %9.4f %9.4f %7.1f %7.0f %7.0f %8.4f %8.4f %6s\n", point.trueMph,
        point.gapSeconds, qPrintable(QStringLiteral("%1/%2").arg(measured).arg(passes)), late,
        100 * Benchmark::Summary(errors).median(),
        100 * Benchmark::Summary(absoluteErrors).maximum(),
        100 * Benchmark::Summary(onTimeErrors).maximum(),
        Benchmark::Summary(listedErrors).maximum(), Benchmark::Summary(offsets).median(),
        Benchmark::Summary(onTimeTimings).maximum(), 100 * Benchmark::Summary(floors).maximum(),
        100 * Benchmark::Summary(targets).maximum(), within ? "yes" : "NO");
    return within;
}

QString clockText(int millisecondsSinceMidnight)
{
    return QTime::fromMSecsSinceStartOfDay(millisecondsSinceMidnight)
        .toString(QStringLiteral("HH:mm:ss"));
}

void printHeading(const Settings &settings, int startMilliseconds, int endMilliseconds)
{
    std::printf("Speed accuracy: %d passes a speed, barcodes %g in apart, 1:87, Speed pressed "
                "after each pass\n",
                settings.passes, Simulated.distanceInches);
    std::printf("  run from %s to %s local time (%.0f s to %.0f s since midnight; a float step "
                "there is %.3f ms)\n",
                qPrintable(clockText(startMilliseconds)), qPrintable(clockText(endMilliseconds)),
                startMilliseconds / 1000.0, endMilliseconds / 1000.0,
                floatStep(static_cast<float>(startMilliseconds / 1000.0)) * 1000);
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
}

} // namespace

int main(int argc, char *argv[])
{
    Benchmark::useOffscreenUnlessAsked(argc, argv);
    QApplication application(argc, argv);
    // The window writes numbers with the locale's decimal separator; in the C locale that is the
    // period Val reads, so the shown speed is read back exactly as written.
    QLocale::setDefault(QLocale::c());
    const std::optional<Settings> settings = parseSettings(application);
    if (!settings)
        return 2;

    QStringList messages;
    setMessageHandler([&messages](const QString &text) { messages << text; });
    const int startMilliseconds = QTime::currentTime().msecsSinceStartOfDay();
    std::vector<Point> points;
    for (const double speed : settings->speeds)
        points.push_back(runPoint(speed, *settings, messages));
    const int endMilliseconds = QTime::currentTime().msecsSinceStartOfDay();
    setMessageHandler({});

    printHeading(*settings, startMilliseconds, endMilliseconds);
    bool allWithin = true;
    std::vector<QStringList> problems;
    for (const Point &point : points) {
        problems.push_back(point.problems);
        allWithin = printRow(point, settings->passes, problems.back()) && allWithin;
    }
    for (std::size_t row = 0; row < points.size(); ++row) {
        for (const QString &problem : problems[row])
            std::printf("  %g mph: %s\n", points[row].trueMph, qPrintable(problem));
    }
    return allWithin ? 0 : 1;
}
