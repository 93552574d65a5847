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
#include "messagebox.h"
#include "pseudoterminal.h"
#include "readlist.h"
#include "runtimeerror.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCommandLineParser>
#include <QEvent>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <thread>
#include <vector>

namespace {

constexpr std::int64_t NanosecondsPerSecond = 1'000'000'000;
constexpr int BaudRate = 9600;
// Start bit, 7 data bits, parity bit and 2 stop bits.
constexpr int BitsPerCharacter = 11;
constexpr std::int64_t CharacterNanoseconds = BitsPerCharacter * NanosecondsPerSecond / BaudRate;
constexpr int BarcodeLength = 12;
constexpr char ReadTerminator[] = "\r\n";
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

std::int64_t monotonicNanoseconds()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * NanosecondsPerSecond + now.tv_nsec;
}

void sleepUntil(std::int64_t nanoseconds)
{
    const timespec due {time_t(nanoseconds / NanosecondsPerSecond),
                        long(nanoseconds % NanosecondsPerSecond)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) == EINTR) { }
}

std::optional<Options> parseOptions(const QCoreApplication &application)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures the time from the last character of a barcode on the serial line to its "
        "line on top of the read list."));
    parser.addHelpOption();
    const QCommandLineOption readsOption(QStringLiteral("reads"),
                                         QStringLiteral("Barcodes to send (default 1000)."),
                                         QStringLiteral("N"), QStringLiteral("1000"));
    const QCommandLineOption gapOption(QStringLiteral("gap"),
                                       QStringLiteral("Pause between reads (default 20)."),
                                       QStringLiteral("MS"), QStringLiteral("20"));
    const QCommandLineOption preloadOption(
        QStringLiteral("preload"),
        QStringLiteral("Lines put in the list before measuring (default 0)."), QStringLiteral("N"),
        QStringLiteral("0"));
    const QCommandLineOption logOption(
        QStringLiteral("log"),
        QStringLiteral("Measure without and then with the session log written to FILE."),
        QStringLiteral("FILE"));
    parser.addOptions({readsOption, gapOption, preloadOption, logOption});
    parser.process(application);

    Options options;
    options.logFile = parser.value(logOption);
    bool readsOk = false;
    bool gapOk = false;
    bool preloadOk = false;
    options.reads = parser.value(readsOption).toInt(&readsOk);
    options.gapMilliseconds = parser.value(gapOption).toInt(&gapOk);
    options.preload = parser.value(preloadOption).toInt(&preloadOk);
    if (!readsOk || options.reads < 1 || !gapOk || options.gapMilliseconds < 0 || !preloadOk
        || options.preload < 0) {
        std::fprintf(stderr,
                     "bench-readlatency: --reads must be at least 1, --gap and "
                     "--preload at least 0\n");
        return std::nullopt;
    }
    return options;
}

// Zero-padded counters: every read is distinct, so a merged or lost read shows in the list.
QString barcode(int read)
{
    return QString::number(read).rightJustified(BarcodeLength, u'0');
}

std::optional<int> readOfBarcode(const QString &code, int reads)
{
    bool ok = false;
    const int read = code.toInt(&ok);
    if (!ok || read < 0 || read >= reads || code != barcode(read))
        return std::nullopt;
    return read;
}

// A line cut out of step carries the CR and LF that end a read; show them.
QString visibleControls(QString text)
{
    return text.replace(u'\r', QStringLiteral("\\r")).replace(u'\n', QStringLiteral("\\n"));
}

// Plays the scanner: one character per character time against an absolute clock, so that time
// spent in write() does not stretch the schedule, and a pause between reads. sentAt[i] is when
// the write() of read i's last character returned.
void sendReads(PseudoTerminal &line, const std::vector<QByteArray> &reads,
               std::int64_t gapNanoseconds, std::int64_t startAt, std::vector<std::int64_t> &sentAt)
{
    std::int64_t due = startAt;
    for (std::size_t read = 0; read < reads.size(); ++read) {
        // A real line never closes the gap between two reads: if this thread was held up, the
        // read starts late rather than on the heels of the one before.
        due = std::max(due, monotonicNanoseconds());
        for (const char character : reads[read]) {
            sleepUntil(due);
            line.write(QByteArray(1, character));
            due += CharacterNanoseconds;
        }
        sentAt[read] = monotonicNanoseconds();
        due += gapNanoseconds;
    }
}

// Watches the list on the window's thread: when each read's line is inserted, and when the
// window has next been repainted after it.
class ListProbe : public QObject
{
    Q_OBJECT

public:
    ListProbe(Form1 &form, int reads)
        : m_form(form),
          m_reads(reads),
          m_listedAt(std::size_t(reads), -1),
          m_paintedAt(std::size_t(reads), -1)
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

    int linesListed() const { return m_linesListed; }
    int unmatchedLines() const { return m_unmatchedLines; }
    int misnumberedLines() const { return m_misnumberedLines; }
    // Out of step lines come in runs: after one stall every later read is cut in the wrong place
    // until another stall happens to bring the reads back in step.
    int unmatchedRuns() const { return m_unmatchedRuns; }
    QStringList unmatchedSamples() const { return m_unmatchedSamples; }
    const std::vector<std::int64_t> &listedAt() const { return m_listedAt; }
    const std::vector<std::int64_t> &paintedAt() const { return m_paintedAt; }

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
        for (const int read : m_awaitingPaint)
            m_paintedAt[std::size_t(read)] = now;
        m_awaitingPaint.clear();
        return true;
    }

private:
    static constexpr qsizetype MaximumSamples = 5;

    void lineListed(const QString &text, std::int64_t at)
    {
        ++m_linesListed;
        const QString numberPrefix = QString::number(m_linesListed) + QStringLiteral(". ");
        if (!text.startsWith(numberPrefix))
            ++m_misnumberedLines;
        const qsizetype codeStart = text.indexOf(QStringLiteral(". "));
        const std::optional<int> read
            = codeStart < 0 ? std::nullopt : readOfBarcode(text.mid(codeStart + 2), m_reads);
        if (!read || m_listedAt[std::size_t(*read)] >= 0) {
            if (!m_previousUnmatched)
                ++m_unmatchedRuns;
            m_previousUnmatched = true;
            ++m_unmatchedLines;
            if (m_unmatchedSamples.size() < MaximumSamples)
                m_unmatchedSamples.append(visibleControls(text));
            return;
        }
        m_previousUnmatched = false;
        m_listedAt[std::size_t(*read)] = at;
        m_awaitingPaint.push_back(*read);
    }

    Form1 &m_form;
    int m_reads;
    int m_linesListed = 0;
    int m_unmatchedLines = 0;
    int m_misnumberedLines = 0;
    int m_unmatchedRuns = 0;
    bool m_previousUnmatched = false;
    bool m_repainting = false;
    QStringList m_unmatchedSamples;
    std::vector<std::int64_t> m_listedAt;
    std::vector<std::int64_t> m_paintedAt;
    std::vector<int> m_awaitingPaint;
};

struct LatencySummary
{
    int count = 0;
    double median = 0;
    double p90 = 0;
    double p99 = 0;
    double maximum = 0;
};

// Microseconds from each read's last character to when it was seen, for the reads that were.
std::vector<double> latencies(const std::vector<std::int64_t> &sentAt,
                              const std::vector<std::int64_t> &seenAt)
{
    std::vector<double> microseconds;
    for (std::size_t read = 0; read < sentAt.size(); ++read) {
        if (seenAt[read] >= 0)
            microseconds.push_back(double(seenAt[read] - sentAt[read]) / 1000.0);
    }
    return microseconds;
}

// Nearest-rank percentiles.
LatencySummary summarize(const std::vector<double> &latencies)
{
    LatencySummary summary;
    summary.count = int(latencies.size());
    if (latencies.empty())
        return summary;
    summary.median = Benchmark::percentile(latencies, 0.5);
    summary.p90 = Benchmark::percentile(latencies, 0.9);
    summary.p99 = Benchmark::percentile(latencies, 0.99);
    summary.maximum = Benchmark::percentile(latencies, 1);
    return summary;
}

void preloadList(Form1 &form, int lines)
{
    auto *const list = qobject_cast<ReadList *>(form.List1->model());
    if (!list)
        qFatal("List1's model is not a ReadList");
    for (int line = 1; line <= lines; ++line)
        list->insertTop(QString::number(line) + QStringLiteral(". ") + barcode(line));
}

// One run of every read through a window of its own, with or without the session log.
struct Session
{
    int linesListed = 0;
    int lost = 0;
    int merged = 0;
    int misnumbered = 0;
    int unmatchedRuns = 0;
    QStringList unmatchedSamples;
    int messagesShown = 0;
    int readLength = 0;
    int threshold = 0;
    std::vector<double> listed; // latencies in microseconds
    std::vector<double> painted;

    bool faulty() const { return lost > 0 || merged > 0 || misnumbered > 0 || messagesShown > 0; }
};

std::optional<Session> measure(QApplication &application, const Options &options,
                               const QString &logFile)
{
    Session session;
    setMessageHandler([&session](const QString &text) {
        ++session.messagesShown;
        std::fprintf(stderr, "bench-readlatency: message box: %s\n", qPrintable(text));
    });

    // The slave stays open here too, so that the master never sees a hangup between the window's
    // open and close.
    PseudoTerminal line;
    Form1 form;
    form.Comm1.setDevicePath(line.devicePath());
    if (!logFile.isEmpty()) {
        if (const QString failed = form.startLog(logFile); !failed.isEmpty()) {
            std::fprintf(stderr, "bench-readlatency: %s: %s\n", qPrintable(logFile),
                         qPrintable(failed));
            return std::nullopt;
        }
    }
    try {
        form.load();
    } catch (const RunTimeError &error) {
        std::fprintf(stderr, "bench-readlatency: %s\n", qPrintable(error.message()));
        return std::nullopt;
    }
    form.show();
    if (options.preload > 0) {
        preloadList(form, options.preload);
        QCoreApplication::processEvents();
    }
    ListProbe probe(form, options.reads);

    std::vector<QByteArray> reads;
    for (int read = 0; read < options.reads; ++read)
        reads.push_back(barcode(read).toLatin1() + ReadTerminator);
    std::vector<std::int64_t> sentAt(reads.size(), -1);
    const std::int64_t gapNanoseconds = std::int64_t(options.gapMilliseconds) * 1'000'000;
    const std::int64_t startAt = monotonicNanoseconds() + StartDelayNanoseconds;
    std::thread writer([&] {
        sendReads(line, reads, gapNanoseconds, startAt, sentAt);
        QMetaObject::invokeMethod(
            &application, [] { QTimer::singleShot(SettleMilliseconds, &QCoreApplication::quit); },
            Qt::QueuedConnection);
    });
    application.exec();
    writer.join();
    // The port is closed before the line goes away, as a real unplug is not what is measured.
    form.close();
    setMessageHandler({});

    for (const std::int64_t at : probe.listedAt())
        session.lost += at < 0 ? 1 : 0;
    session.linesListed = probe.linesListed();
    // A line whose code is no read's barcode holds parts of two reads; a line short means a
    // whole read went, unseen, into the line of the read before it.
    session.merged = probe.unmatchedLines() + std::max(0, options.reads - probe.linesListed());
    session.misnumbered = probe.misnumberedLines();
    session.unmatchedRuns = probe.unmatchedRuns();
    session.unmatchedSamples = probe.unmatchedSamples();
    session.readLength = int(reads.front().size());
    session.threshold = int(form.Comm1.RThreshold());
    session.listed = latencies(sentAt, probe.listedAt());
    session.painted = latencies(sentAt, probe.paintedAt());
    return session;
}

// Adds the reads of part to whole.
void absorb(Session &whole, const Session &part)
{
    whole.linesListed += part.linesListed;
    whole.lost += part.lost;
    whole.merged += part.merged;
    whole.misnumbered += part.misnumbered;
    whole.unmatchedRuns += part.unmatchedRuns;
    whole.unmatchedSamples += part.unmatchedSamples;
    whole.messagesShown += part.messagesShown;
    whole.readLength = part.readLength;
    whole.threshold = part.threshold;
    whole.listed.insert(whole.listed.end(), part.listed.begin(), part.listed.end());
    whole.painted.insert(whole.painted.end(), part.painted.begin(), part.painted.end());
}

void printSession(const char *title, const Session &session)
{
    if (*title)
        std::printf("  %s\n", title);
    std::printf("    lines listed        %10d\n", session.linesListed);
    std::printf("    reads lost          %10d\n", session.lost);
    std::printf("    reads merged        %10d\n", session.merged);
    std::printf("    lines misnumbered   %10d\n", session.misnumbered);
    std::printf("    message boxes       %10d\n", session.messagesShown);
    std::printf("    latency (us)            listed   painted\n");
    const LatencySummary listed = summarize(session.listed);
    const LatencySummary painted = summarize(session.painted);
    std::printf("      median            %10.0f %9.0f\n", listed.median, painted.median);
    std::printf("      90th percentile   %10.0f %9.0f\n", listed.p90, painted.p90);
    std::printf("      99th percentile   %10.0f %9.0f\n", listed.p99, painted.p99);
    std::printf("      maximum           %10.0f %9.0f\n", listed.maximum, painted.maximum);
    std::printf("      reads timed       %10d %9d\n", listed.count, painted.count);
    if (!session.unmatchedSamples.isEmpty()) {
        std::printf("    lines not matching a read came in %d run(s); the first:\n",
                    session.unmatchedRuns);
        for (const QString &sample : session.unmatchedSamples)
            std::printf("      \"%s\"\n", qPrintable(sample));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
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
    for (int turn = 0; turn < rounds; ++turn) {
        for (const bool withLog : {false, true}) {
            if (withLog && !compare)
                continue;
            const std::optional<Session> part
                = measure(application, round, withLog ? options->logFile : QString());
            if (!part)
                return 2;
            absorb(withLog ? logged : plain, *part);
        }
    }

    std::printf("Read latency: %d reads of %d characters at %d baud 7E2, %d ms apart, "
                "threshold %d, %d lines preloaded\n",
                round.reads * rounds, plain.readLength, BaudRate, options->gapMilliseconds,
                plain.threshold, options->preload);
    std::printf("  %s\n", Benchmark::loadAverage().c_str());
    printSession(compare ? "without the session log" : "", plain);
    const LatencySummary plainListed = summarize(plain.listed);
    Benchmark::printVerdict("p99 listed < " + std::to_string(int(TargetP99Microseconds)) + " us",
                            plainListed.count > 0 && plainListed.p99 < TargetP99Microseconds);
    if (compare) {
        printSession(qPrintable(QStringLiteral("with the session log in %1, in %2 rounds taking "
                                               "turns with the above")
                                    .arg(options->logFile)
                                    .arg(rounds)),
                     logged);
        const LatencySummary loggedListed = summarize(logged.listed);
        const double ratio = loggedListed.p99 / plainListed.p99;
        std::printf("  p99 listed with the log / without: %.2f\n", ratio);
        Benchmark::printVerdict("p99 listed with the log within 1.2x of without",
                                loggedListed.count > 0 && ratio <= TargetLoggingRatio);
    }
    return plain.faulty() || logged.faulty() ? 1 : 0;
}

#include "readlatency.moc"
