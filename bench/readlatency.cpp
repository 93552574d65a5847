// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

// bench-readlatency: how long a barcode takes from the serial line to the top of the read list.

#include "benchsupport.h"
#include "csvrows.h"
#include "form1.h"
#include "readlist.h"
#include "readschedule.h"
#include "result.h"
#include "runtimeerror.h"
#include "startedwindow.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QList>
#include <QMetaObject>
#include <QModelIndex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Benchmark::Clock;
using namespace std::chrono_literals;

constexpr auto CharacterTime
    = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(CharacterSeconds));
constexpr int BarcodeLength = 12;
// Time for the event loop to start before the first character is due.
constexpr auto StartDelay = 300ms;
// Time after the last read for its line and the repaint to come in.
constexpr auto Settle = 1s;
constexpr double TargetP99Microseconds = 2000;
constexpr double TargetLoggingRatio = 1.2;
constexpr int ComparedRounds = 5;
constexpr qsizetype MaximumSamples = 5;
// The soak: a long session at ten times the scanner's top rate, each read's characters sent back
// to back.
constexpr int SoakReads = 200'000;
constexpr auto SoakGap = (BarcodeLength + 2) * CharacterTime / 10;
constexpr std::size_t SoakCompared = 10'000;
constexpr double TargetSoakP99Ratio = 1.2;
constexpr double TargetSoakGrowthMegabytes = 5;
// The log's group commit keeps fewer than 10 rows waiting while a sync takes 100 ms and a read
// comes every 16 ms; at ten times the rate, ten times as many come in during one sync.
constexpr qsizetype TargetRowsWaiting = 100;

struct Settings
{
    int reads;
    Clock::duration characterTime;
    Clock::duration gap;
    int preload;
};

// Zero-padded counters: every read is distinct, so a merged or lost read shows in the list.
QString barcode(int read)
{
    return QString::number(read).rightJustified(BarcodeLength, u'0');
}

// Lines as reads would list them, put straight into the list.
void fill(StartedWindow &window, int lines)
{
    for (int line = 1; line <= lines; ++line)
        window.reads().insertTop(QString::number(line) + QStringLiteral(". ") + barcode(line));
}

// Room for count more items, written once so that it is resident before a round's memory growth
// is measured: the growth is to be Pelmar's, not the benchmark's records'.
template<typename Item> void makeRoom(std::vector<Item> &items, int count)
{
    const std::size_t size = items.size();
    items.resize(size + static_cast<std::size_t>(count));
    items.resize(size);
}

double residentMegabytes()
{
    return Benchmark::procMegabytes("self", "status", "VmRSS");
}

// Plays the scanner: one character per character time (none for back to back) on a schedule of
// its own, so that time spent in write() does not stretch it, and a pause between reads. sentAt[i]
// is when the write() of read i's last character returned.
void sendReads(PseudoTerminal &line, const Settings &settings,
               std::vector<Clock::time_point> &sentAt)
{
    Clock::time_point due = Clock::now() + StartDelay;
    for (int read = 0; read < settings.reads; ++read) {
        // A real line never closes the gap between two reads: if this thread was held up, the
        // read starts late rather than on the heels of the one before.
        due = std::max(due, Clock::now());
        for (const char character : barcode(read).toLatin1() + "\r\n") {
            std::this_thread::sleep_until(due);
            line.write(QByteArray(1, character));
            due += settings.characterTime;
        }
        sentAt.push_back(Clock::now());
        due += settings.gap;
    }
}

// The rounds of reads with the session log, or without it: when each read's line went into the
// list, when the window was next repainted after it, and what went wrong.
class Session : public QObject
{
    Q_OBJECT

    using Times = std::vector<std::optional<Clock::time_point>>;

public:
    // One round through a window of its own, with the session log when logFile is named.
    void measure(const Settings &settings, const QString &logFile)
    {
        StartedWindow window;
        if (const Result<> log = logFile.isEmpty() ? Result<>() : window.form.openLog(logFile);
            !log)
            Benchmark::fail((logFile + QStringLiteral(": ") + log.error()).toStdString());
        window.form.show();
        fill(window, settings.preload);
        QCoreApplication::processEvents();
        m_round = Round(&window.form, settings.reads);
        std::vector<Clock::time_point> sentAt;
        makeRoom(sentAt, settings.reads);
        makeRoom(m_listed, settings.reads);
        makeRoom(m_painted, settings.reads);
        const double residentBefore = residentMegabytes();
        const QAbstractItemModel *model = window.form.List1->model();
        connect(model, &QAbstractItemModel::rowsInserted, this,
                [this, model](const QModelIndex &, int first, int last) {
                    const Clock::time_point now = Clock::now();
                    for (int row = first; row <= last; ++row)
                        lineListed(model->index(row, 0).data().toString(), now);
                });
        window.form.installEventFilter(this);

        std::thread writer([&] {
            sendReads(window.scanner, settings, sentAt);
            QMetaObject::invokeMethod(
                qApp, [] { QTimer::singleShot(Settle, qApp, &QCoreApplication::quit); },
                Qt::QueuedConnection);
        });
        QCoreApplication::exec();
        writer.join();
        residentGrowth = std::max(residentGrowth, residentMegabytes() - residentBefore);
        mostRowsWaiting = std::max(mostRowsWaiting, window.form.sessionLog().mostRowsWaiting());

        // A line short means a whole read went, unseen, into the line of the read before it.
        m_merged += std::max(0, static_cast<int>(sentAt.size()) - m_round.lines);
        for (std::size_t read = 0; read < sentAt.size(); ++read) {
            m_lost += m_round.listedAt[read] ? 0 : 1;
            for (auto [seenAt, latencies] : {std::pair {m_round.listedAt[read], &m_listed},
                                             std::pair {m_round.paintedAt[read], &m_painted}}) {
                if (seenAt)
                    latencies->push_back(
                        std::chrono::duration<double, std::micro>(*seenAt - sentAt[read]).count());
            }
        }
        threshold = window.form.Comm1.RThreshold();
        m_messagesShown += static_cast<int>(window.messages.size());
        for (const QString &message : window.messages)
            Benchmark::warn("message box: " + message.toStdString());
    }

    // Prints the table; returns the 99th percentile listed.
    double print(const QString &title) const
    {
        if (!title.isEmpty())
            std::printf("  %s\n", qPrintable(title));
        std::printf("    lines listed        %10d\n", m_linesListed);
        std::printf("    reads lost          %10d\n", m_lost);
        std::printf("    reads merged        %10d\n", m_merged);
        std::printf("    lines misnumbered   %10d\n", m_misnumbered);
        std::printf("    message boxes       %10d\n", m_messagesShown);
        std::printf("    latency (us)            listed   painted\n");
        const Benchmark::Summary listed(m_listed);
        const Benchmark::Summary painted(m_painted);
        for (const auto &[name, fraction] : {std::pair {"median         ", 0.5},
                                             {"90th percentile", 0.9},
                                             {"99th percentile", 0.99},
                                             {"maximum        ", 1.0}})
            std::printf("      %s   %10.0f %9.0f\n", name, listed.percentile(fraction),
                        painted.percentile(fraction));
        std::printf("      reads timed       %10d %9d\n", listed.count(), painted.count());
        if (!m_unmatchedSamples.isEmpty())
            std::printf("    lines not matching a read came in %d run(s); the first:\n",
                        m_unmatchedRuns);
        for (const QString &sample : m_unmatchedSamples)
            std::printf("      \"%s\"\n", qPrintable(sample));
        return listed.percentile(0.99);
    }

    bool faulty() const
    {
        return m_lost > 0 || m_merged > 0 || m_misnumbered > 0 || m_messagesShown > 0;
    }

    // The listed latencies in microseconds, in the order of the reads.
    const std::vector<double> &listed() const { return m_listed; }
    int linesListed() const { return m_linesListed; }

    int threshold = 0;
    double residentGrowth = 0; // MB, the most of any round
    qsizetype mostRowsWaiting = 0;

protected:
    // A filter runs before its event: to time the end of the window's repaint, the filter
    // delivers the event itself (through any other filters) and then takes the time.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_round.form || event->type() != QEvent::UpdateRequest || m_round.repainting)
            return false;
        m_round.repainting = true;
        QCoreApplication::sendEvent(m_round.form, event);
        m_round.repainting = false;
        const Clock::time_point now = Clock::now();
        for (const std::size_t read : std::exchange(m_round.awaitingPaint, {}))
            m_round.paintedAt[read] = now;
        return true;
    }

private:
    // A line whose code is no read's barcode, or a read's second line, holds parts of two reads.
    // Such lines come in runs: after one stall every later read is cut in the wrong place until
    // another stall happens to bring the reads back in step.
    void lineListed(const QString &text, Clock::time_point at)
    {
        ++m_round.lines;
        ++m_linesListed;
        m_misnumbered
            += text.startsWith(QString::number(m_round.lines) + QStringLiteral(". ")) ? 0 : 1;
        const QString code = text.section(QStringLiteral(". "), 1);
        const std::size_t read = code.toUInt();
        const bool unmatched
            = code != barcode(read) || read >= m_round.listedAt.size() || m_round.listedAt[read];
        m_unmatchedRuns += unmatched && !m_round.previousUnmatched ? 1 : 0;
        m_round.previousUnmatched = unmatched;
        if (unmatched && m_unmatchedSamples.size() < MaximumSamples)
            m_unmatchedSamples << QString(text)
                                      .replace(u'\r', QStringLiteral("\\r"))
                                      .replace(u'\n', QStringLiteral("\\n"));
        m_merged += unmatched ? 1 : 0;
        if (!unmatched) {
            m_round.listedAt[read] = at;
            m_round.awaitingPaint.push_back(read);
        }
    }

    int m_linesListed = 0;
    int m_lost = 0;
    int m_merged = 0;
    int m_misnumbered = 0;
    int m_unmatchedRuns = 0;
    QStringList m_unmatchedSamples;
    int m_messagesShown = 0;
    std::vector<double> m_listed; // latencies in microseconds
    std::vector<double> m_painted;
    // What the round being measured has seen, by read.
    struct Round
    {
        explicit Round(Form1 *form = nullptr, int reads = 0)
            : form(form), listedAt(reads), paintedAt(reads)
        {
        }

        Form1 *form;
        Times listedAt;
        Times paintedAt;
        std::vector<std::size_t> awaitingPaint;
        int lines = 0;
        bool previousUnmatched = false;
        bool repainting = false;
    };
    Round m_round;
};

// The read rows of a session log as Python's csv module reads them: how many, and every
// character they took from the port, in order.
struct LoggedReads
{
    int rows = 0;
    QByteArray received;
};

LoggedReads loggedReads(const QString &path)
{
    const QList<QStringList> rows = csvRowsOf(path);
    const QStringList header = rows.value(0);
    const qsizetype kind = header.indexOf(QStringLiteral("kind"));
    const qsizetype received = header.indexOf(QStringLiteral("received"));
    LoggedReads logged;
    for (const QStringList &row : rows) {
        if (row.value(kind) != QStringLiteral("read"))
            continue;
        ++logged.rows;
        logged.received += unescaped(row.value(received));
    }
    return logged;
}

// A long session, logged, at ten times the scanner's top rate: nothing may be lost, pile up or
// grow beyond the lines listed, and the last reads must be served as fast as the first.
int soak(int reads, const QString &logFile)
{
    QFile::remove(logFile);
    // What the lines themselves cost, in a window that stays, so that the soak's window cannot
    // reuse memory this one gave back.
    StartedWindow lines;
    lines.form.show();
    QCoreApplication::processEvents();
    const double residentBefore = residentMegabytes();
    fill(lines, reads);
    QCoreApplication::processEvents();
    const double linesCost = residentMegabytes() - residentBefore;

    Session session;
    session.measure({reads, Clock::duration::zero(), SoakGap, 0}, logFile);
    const LoggedReads logged = loggedReads(logFile);
    QByteArray sent;
    for (int read = 0; read < reads; ++read)
        sent += barcode(read).toLatin1() + "\r\n";
    const std::vector<double> &listed = session.listed();
    const std::size_t compared = std::min(SoakCompared, listed.size() / 2);
    const Benchmark::Summary first(std::vector<double>(listed.begin(), listed.begin() + compared));
    const Benchmark::Summary last(std::vector<double>(listed.end() - compared, listed.end()));
    const double firstP99 = first.percentile(0.99);
    const double lastP99 = last.percentile(0.99);
    const double growth = session.residentGrowth - linesCost;

    std::printf("Soak: %d reads of %d characters sent back to back, %.2f ms apart, logged in %s\n",
                reads, BarcodeLength + 2, Benchmark::milliseconds(SoakGap), qPrintable(logFile));
    std::printf("  %s\n", Benchmark::loadAverage().c_str());
    session.print({});
    std::printf("    log rows of reads   %10d\n", logged.rows);
    std::printf("    most rows waiting   %10lld\n",
                static_cast<long long>(session.mostRowsWaiting));
    std::printf("    resident growth     %10.1f MB, of which the lines %.1f MB\n",
                session.residentGrowth, linesCost);
    // The median tells a list that grows slower from a few stalls of the machine, which the p99
    // of 10,000 reads rests on.
    std::printf(
        "    listed (us), first and last %zu reads: median %.0f and %.0f, p99 %.0f and %.0f\n",
        compared, first.median(), last.median(), firstP99, lastP99);
    Benchmark::Verdicts verdicts;
    verdicts.check(logged.received == sent, "every character sent is in the log, in order");
    verdicts.check(logged.rows == session.linesListed(), "a log row for every line listed");
    // With every character in the log, a read without a line of its own shares one with another.
    verdicts.check(!session.faulty(), "a line for every read, none misnumbered, no message box");
    verdicts.check(session.mostRowsWaiting < TargetRowsWaiting,
                   "rows waiting for the log < %lld, as for 10 at the top rate",
                   static_cast<long long>(TargetRowsWaiting));
    verdicts.check(growth < TargetSoakGrowthMegabytes, "memory growth beyond the lines < %g MB",
                   TargetSoakGrowthMegabytes);
    verdicts.check(lastP99 <= TargetSoakP99Ratio * firstP99,
                   "p99 listed of the last reads within %gx of the first", TargetSoakP99Ratio);
    QFile::remove(logFile);
    return verdicts.allMet() ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const Benchmark::CommandLine commandLine(
        QStringLiteral("Measures the time from the last character of a barcode on the serial line "
                       "to its line on top of the read list."),
        {{"reads", "Barcodes to send (default 1000).", "N", "1000"},
         {"gap", "Pause between reads (default 20).", "MS", "20"},
         {"preload", "Lines put in the list before measuring (default 0).", "N", "0"},
         {"log", "Measure without and then with the session log in FILE.", "FILE"},
         {"soak",
          "A long session instead: 200000 reads, one every 1.6 ms, logged in the --log FILE "
          "(default /var/tmp/pelmar-soak.csv, removed at the start and the end); --reads N "
          "for fewer."}});
    // With the log, rounds without and with it take turns, so that whatever else the machine does
    // falls on both alike.
    const QString logFile = commandLine.value("log");
    if (commandLine.isSet("soak")) {
        try {
            return soak(commandLine.isSet("reads") ? commandLine.number("reads", 1) : SoakReads,
                        logFile.isEmpty() ? QStringLiteral("/var/tmp/pelmar-soak.csv") : logFile);
        } catch (const RunTimeError &error) {
            Benchmark::fail(error.message().toStdString());
        }
    }
    const int rounds = logFile.isEmpty() ? 1 : ComparedRounds;
    const Settings settings {std::max(1, commandLine.number("reads", 1) / rounds), CharacterTime,
                             std::chrono::milliseconds(commandLine.number("gap", 0)),
                             commandLine.number("preload", 0)};
    Session plain;
    Session logged;
    try {
        for (int round = 0; round < rounds; ++round) {
            plain.measure(settings, {});
            if (!logFile.isEmpty())
                logged.measure(settings, logFile);
        }
    } catch (const RunTimeError &error) {
        Benchmark::fail(error.message().toStdString());
    }

    std::printf("Read latency: %d reads of %d characters at 9600 baud 7E2, %g ms apart, "
                "threshold %d, %d lines preloaded\n",
                settings.reads * rounds, BarcodeLength + 2, Benchmark::milliseconds(settings.gap),
                plain.threshold, settings.preload);
    std::printf("  %s\n", Benchmark::loadAverage().c_str());
    Benchmark::Verdicts verdicts;
    const double plainP99 = plain.print(logFile.isEmpty() ? QString() : "without the session log");
    verdicts.check(plainP99 < TargetP99Microseconds, "p99 listed < %.0f us", TargetP99Microseconds);
    if (!logFile.isEmpty()) {
        const double ratio = logged.print(QStringLiteral("with the session log in %1, in %2 rounds "
                                                         "taking turns with the above")
                                              .arg(logFile)
                                              .arg(rounds))
            / plainP99;
        std::printf("  p99 listed with the log / without: %.2f\n", ratio);
        verdicts.check(ratio <= TargetLoggingRatio, "p99 listed with the log within %gx of without",
                       TargetLoggingRatio);
    }
    return plain.faulty() || logged.faulty() || !verdicts.allMet() ? 1 : 0;
}

#include "readlatency.moc"
