// bench-readlatency: how long a barcode takes from the serial line to the top of the read list.
//
// A writer thread plays the scanner on a pseudo-terminal at the pace of a 9600 baud 7E2 line; the
// window, unchanged, reads the slave end as port 1. For each read the time runs from the return of
// the write() of its last character to the insertion of its line into the list (and, as a second
// figure, to the end of the next repaint of the window, which is when a user could see it). With
// --log FILE the same reads are measured twice in one run, without and with the session log, and
// the log's p99 must stay within 1.2 times the other.

#include "benchsupport.h"
#include "form1.h"
#include "readlist.h"
#include "runtimeerror.h"
#include "startedwindow.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QApplication>
#include <QByteArray>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QModelIndex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Benchmark::monotonicNanoseconds;

constexpr int BaudRate = 9600;
// Start bit, 7 data bits, parity bit and 2 stop bits.
constexpr std::int64_t CharacterNanoseconds = 11 * std::int64_t {1'000'000'000} / BaudRate;
constexpr int BarcodeLength = 12;
// Time for the event loop to start before the first character is due.
constexpr std::int64_t StartDelayNanoseconds = 300'000'000;
// Time after the last read for its line and the repaint to come in.
constexpr int SettleMilliseconds = 1000;
constexpr double TargetP99Microseconds = 2000;
constexpr double TargetLoggingRatio = 1.2;
constexpr int ComparedRounds = 5;

struct Options
{
    int reads = 1000;
    int gapMilliseconds = 20;
    int preload = 0;
    QString logFile;
};

std::optional<Options> parseOptions(const QCoreApplication &application)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Measures the time from the last character of a barcode on "
                                     "the serial line to its line on top of the read list.");
    parser.addHelpOption();
    const QCommandLineOption reads("reads", "Barcodes to send (default 1000).", "N", "1000");
    const QCommandLineOption gap("gap", "Pause between reads (default 20).", "MS", "20");
    const QCommandLineOption preload(
        "preload", "Lines put in the list before measuring (default 0).", "N", "0");
    const QCommandLineOption log("log", "Measure without and then with the session log in FILE.",
                                 "FILE");
    parser.addOptions({reads, gap, preload, log});
    parser.process(application);
    bool good = true;
    const auto number = [&](const QCommandLineOption &option, int least) {
        bool ok = false;
        const int value = parser.value(option).toInt(&ok);
        good = good && ok && value >= least;
        return value;
    };
    const Options options {number(reads, 1), number(gap, 0), number(preload, 0), parser.value(log)};
    if (good)
        return options;
    std::fprintf(stderr,
                 "bench-readlatency: --reads must be at least 1, --gap and --preload at "
                 "least 0\n");
    return std::nullopt;
}

// Zero-padded counters: every read is distinct, so a merged or lost read shows in the list.
QString barcode(int read)
{
    return QString::number(read).rightJustified(BarcodeLength, u'0');
}

void sleepUntil(std::int64_t nanoseconds)
{
    const timespec due {nanoseconds / 1'000'000'000, nanoseconds % 1'000'000'000};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) == EINTR) { }
}

// Plays the scanner: one character per character time against an absolute clock, so that time
// spent in write() does not stretch the schedule, and a pause between reads. sentAt[i] is when
// the write() of read i's last character returned.
void sendReads(PseudoTerminal &line, int reads, std::int64_t gapNanoseconds,
               std::vector<std::int64_t> &sentAt)
{
    std::int64_t due = monotonicNanoseconds() + StartDelayNanoseconds;
    for (int read = 0; read < reads; ++read) {
        // A real line never closes the gap between two reads: if this thread was held up, the
        // read starts late rather than on the heels of the one before.
        due = std::max(due, monotonicNanoseconds());
        for (const char character : barcode(read).toLatin1() + "\r\n") {
            sleepUntil(due);
            line.write(QByteArray(1, character));
            due += CharacterNanoseconds;
        }
        sentAt.push_back(monotonicNanoseconds());
        due += gapNanoseconds;
    }
}

// The reads of every round with or without the session log, and what went wrong with them.
struct Session
{
    int linesListed = 0;
    int lost = 0;
    int merged = 0;
    int misnumbered = 0;
    int unmatchedRuns = 0;
    QStringList unmatchedSamples;
    int messagesShown = 0;
    int threshold = 0;
    std::vector<double> listed; // latencies in microseconds
    std::vector<double> painted;

    bool faulty() const { return lost > 0 || merged > 0 || misnumbered > 0 || messagesShown > 0; }
};

// Watches the list on the window's thread: when each read's line is inserted, and when the
// window has next been repainted after it.
class ListProbe : public QObject
{
    Q_OBJECT

public:
    ListProbe(Form1 &form, int reads, Session &session)
        : m_form(form), m_session(session), m_listedAt(reads, -1), m_paintedAt(reads, -1)
    {
        QAbstractItemModel *const model = form.List1->model();
        connect(model, &QAbstractItemModel::rowsInserted, this,
                [this, model](const QModelIndex &, int first, int last) {
                    const std::int64_t now = monotonicNanoseconds();
                    for (int row = first; row <= last; ++row)
                        lineListed(model->index(row, 0).data().toString(), now);
                });
        form.installEventFilter(this);
    }

    // Microseconds from each read's last character to when it was listed and when painted. A
    // line short means a whole read went, unseen, into the line of the read before it.
    void finish(const std::vector<std::int64_t> &sentAt)
    {
        m_session.merged += std::max(0, static_cast<int>(sentAt.size()) - m_lines);
        for (std::size_t read = 0; read < sentAt.size(); ++read) {
            m_session.lost += m_listedAt[read] < 0 ? 1 : 0;
            for (auto [seenAt, latencies] : {std::pair {m_listedAt[read], &m_session.listed},
                                             std::pair {m_paintedAt[read], &m_session.painted}}) {
                if (seenAt >= 0)
                    latencies->push_back(static_cast<double>(seenAt - sentAt[read]) / 1000.0);
            }
        }
    }

protected:
    // A filter runs before its event: to time the end of the window's repaint, the filter
    // delivers the event itself (through any other filters) and then takes the time.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != &m_form || event->type() != QEvent::UpdateRequest || m_repainting)
            return false;
        m_repainting = true;
        QCoreApplication::sendEvent(&m_form, event);
        m_repainting = false;
        const std::int64_t now = monotonicNanoseconds();
        for (const std::size_t read : m_awaitingPaint)
            m_paintedAt[read] = now;
        m_awaitingPaint.clear();
        return true;
    }

private:
    static constexpr qsizetype MaximumSamples = 5;

    // A line whose code is no read's barcode, or a read's second line, holds parts of two reads.
    // Such lines come in runs: after one stall every later read is cut in the wrong place until
    // another stall happens to bring the reads back in step.
    void lineListed(const QString &text, std::int64_t at)
    {
        ++m_lines;
        ++m_session.linesListed;
        if (!text.startsWith(QString::number(m_lines) + QStringLiteral(". ")))
            ++m_session.misnumbered;
        const QString code = text.section(QStringLiteral(". "), 1);
        const std::size_t read = code.toUInt();
        if (code != barcode(read) || read >= m_listedAt.size() || m_listedAt[read] >= 0) {
            m_session.unmatchedRuns += m_previousUnmatched ? 0 : 1;
            m_previousUnmatched = true;
            ++m_session.merged;
            if (m_session.unmatchedSamples.size() < MaximumSamples)
                m_session.unmatchedSamples << QString(text)
                                                  .replace(u'\r', QStringLiteral("\\r"))
                                                  .replace(u'\n', QStringLiteral("\\n"));
            return;
        }
        m_previousUnmatched = false;
        m_listedAt[read] = at;
        m_awaitingPaint.push_back(read);
    }

    Form1 &m_form;
    Session &m_session;
    int m_lines = 0;
    bool m_previousUnmatched = false;
    bool m_repainting = false;
    std::vector<std::int64_t> m_listedAt;
    std::vector<std::int64_t> m_paintedAt;
    std::vector<std::size_t> m_awaitingPaint;
};

// One round of reads through a window of its own, with the session log when logFile is named.
// Throws RunTimeError when the window cannot start.
bool measure(QApplication &application, const Options &options, const QString &logFile,
             Session &session)
{
    StartedWindow window;
    if (const Result<> log = logFile.isEmpty() ? Result<>() : window.form.openLog(logFile); !log) {
        std::fprintf(stderr, "bench-readlatency: %s: %s\n", qPrintable(logFile),
                     qPrintable(log.error()));
        return false;
    }
    window.form.show();
    for (int line = 1; line <= options.preload; ++line)
        window.reads().insertTop(QString::number(line) + QStringLiteral(". ") + barcode(line));
    QCoreApplication::processEvents();
    ListProbe probe(window.form, options.reads, session);

    std::vector<std::int64_t> sentAt;
    std::thread writer([&] {
        sendReads(window.scanner, options.reads, options.gapMilliseconds * 1'000'000LL, sentAt);
        QMetaObject::invokeMethod(
            &application, [] { QTimer::singleShot(SettleMilliseconds, &QCoreApplication::quit); },
            Qt::QueuedConnection);
    });
    application.exec();
    writer.join();

    probe.finish(sentAt);
    session.threshold = window.form.Comm1.RThreshold();
    session.messagesShown += window.messages.size();
    for (const QString &message : window.messages)
        std::fprintf(stderr, "bench-readlatency: message box: %s\n", qPrintable(message));
    return true;
}

Benchmark::Summary printSession(const char *title, const Session &session)
{
    if (*title)
        std::printf("  %s\n", title);
    std::printf("    lines listed        %10d\n", session.linesListed);
    std::printf("    reads lost          %10d\n", session.lost);
    std::printf("    reads merged        %10d\n", session.merged);
    std::printf("    lines misnumbered   %10d\n", session.misnumbered);
    std::printf("    message boxes       %10d\n", session.messagesShown);
    std::printf("    latency (us)            listed   painted\n");
    const Benchmark::Summary listed(session.listed);
    const Benchmark::Summary painted(session.painted);
    for (const auto &[name, fraction] : {std::pair {"median         ", 0.5},
                                         {"90th percentile", 0.9},
                                         {"99th percentile", 0.99},
                                         {"maximum        ", 1.0}})
        std::printf("      %s   %10.0f %9.0f\n", name, listed.percentile(fraction),
                    painted.percentile(fraction));
    std::printf("      reads timed       %10d %9d\n", listed.count(), painted.count());
    if (!session.unmatchedSamples.isEmpty()) {
        std::printf("    lines not matching a read came in %d run(s); the first:\n",
                    session.unmatchedRuns);
        for (const QString &sample : session.unmatchedSamples)
            std::printf("      \"%s\"\n", qPrintable(sample));
    }
    return listed;
}

} // namespace

int main(int argc, char *argv[])
{
    Benchmark::useOffscreenUnlessAsked(argc, argv);
    QApplication application(argc, argv);
    const std::optional<Options> options = parseOptions(application);
    if (!options)
        return 2;

    // With the log, the reads go in rounds that take turns, so that whatever else the machine
    // does falls on both alike.
    const bool compare = !options->logFile.isEmpty();
    const int rounds = compare ? ComparedRounds : 1;
    Options round = *options;
    round.reads = std::max(1, options->reads / rounds);
    Session plain;
    Session logged;
    try {
        for (int turn = 0; turn < rounds; ++turn) {
            if (!measure(application, round, {}, plain)
                || (compare && !measure(application, round, options->logFile, logged)))
                return 2;
        }
    } catch (const RunTimeError &error) {
        std::fprintf(stderr, "bench-readlatency: %s\n", qPrintable(error.message()));
        return 2;
    }

    std::printf("Read latency: %d reads of %d characters at %d baud 7E2, %d ms apart, "
                "threshold %d, %d lines preloaded\n",
                round.reads * rounds, BarcodeLength + 2, BaudRate, options->gapMilliseconds,
                plain.threshold, options->preload);
    std::printf("  %s\n", Benchmark::loadAverage().c_str());
    const Benchmark::Summary plainListed
        = printSession(compare ? "without the session log" : "", plain);
    Benchmark::printVerdict(
        "p99 listed < " + std::to_string(static_cast<int>(TargetP99Microseconds)) + " us",
        plainListed.count() > 0 && plainListed.percentile(0.99) < TargetP99Microseconds);
    if (compare) {
        const QString title
            = QStringLiteral("with the session log in %1, in %2 rounds taking turns with the above")
                  .arg(options->logFile)
                  .arg(rounds);
        const Benchmark::Summary loggedListed = printSession(qPrintable(title), logged);
        const double ratio = loggedListed.percentile(0.99) / plainListed.percentile(0.99);
        std::printf("  p99 listed with the log / without: %.2f\n", ratio);
        Benchmark::printVerdict("p99 listed with the log within 1.2x of without",
                                loggedListed.count() > 0 && ratio <= TargetLoggingRatio);
    }
    return plain.faulty() || logged.faulty() ? 1 : 0;
}

#include "readlatency.moc"
