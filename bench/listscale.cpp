// bench-listscale: the read list at scale, in the real window, shown.
//
// For 0, 10,000, 100,000 and 1,000,000 lines already listed, times 1000 single inserts at the top,
// each until the list has drawn the new line on the screen (the event processing a real read gets:
// the view's layout, the scroll bar and the paint); reports the resident memory with a million
// lines listed; checks with a million lines that what the user sees still works (newest on top,
// single selection, keys, scrolling, Clear List, no stale pixels) and times those actions.
//
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM or -platform says otherwise (under Xvfb:
// QT_QPA_PLATFORM=xcb xvfb-run -a bench-listscale).

#include "benchsupport.h"
#include "form1.h"
#include "messagebox.h"
#include "pseudoterminal.h"
#include "readlist.h"
#include "runtimeerror.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <vector>

namespace {

constexpr int InsertsPerScale = 1000;
constexpr int Scales[] = {0, 10'000, 100'000, 1'000'000};
constexpr int LargestScale = Scales[std::size(Scales) - 1];
constexpr int InsertsBeforeScreenCheck = 50;
constexpr int LineLength = 15;
constexpr double TargetP99Milliseconds = 1.0;
constexpr double TargetCopyAllMilliseconds = 1000;
constexpr double TargetResidentMegabytes = 100.0;
// A line that has not been drawn by then is counted as never drawn rather than waited for.
constexpr qint64 DrawWaitNanoseconds = 2'000'000'000;

// Sees what the list draws: each repaint of its viewport, and each line drawn, through a delegate
// that draws exactly as the view's default one. A view can repaint before its layout has caught up
// with an insert and draw nothing, so "repainted" alone does not mean the user sees the new line.
class DrawWatcher : public QStyledItemDelegate
{
public:
    explicit DrawWatcher(QAbstractItemView *view) : QStyledItemDelegate(view)
    {
        view->setItemDelegate(this);
        view->viewport()->installEventFilter(this);
    }

    // Starts watching for a line that target accepts, or for any repaint when target is empty.
    void expect(std::function<bool(const QModelIndex &)> target)
    {
        m_target = std::move(target);
        m_drawn = false;
        m_repaintsBefore = 0;
        m_blankRepaintsBefore = 0;
        m_linesThisRepaint = -1;
    }

    bool drawn() const { return m_drawn; }
    // Repaints that came before the awaited one, and how many of those drew no line at all.
    int repaintsBefore() const { return m_repaintsBefore; }
    int blankRepaintsBefore() const { return m_blankRepaintsBefore; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        ++m_linesThisRepaint;
        if (m_target && !m_drawn && m_target(index))
            m_drawn = true;
        QStyledItemDelegate::paint(painter, option, index);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_drawn) {
            if (m_linesThisRepaint >= 0) {
                ++m_repaintsBefore;
                if (m_linesThisRepaint == 0)
                    ++m_blankRepaintsBefore;
            }
            m_linesThisRepaint = 0;
            if (!m_target)
                m_drawn = true;
        }
        // Not the delegate's own filter: that one treats the object it watches as an open editor.
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool(const QModelIndex &)> m_target;
    mutable bool m_drawn = false;
    mutable int m_linesThisRepaint = -1;
    int m_repaintsBefore = 0;
    int m_blankRepaintsBefore = 0;
};

// A line of exactly LineLength characters, as a read of a 12-character barcode gives while the
// read number has one digit; longer numbers eat into the code so that every line is as long.
QString lineFor(int number)
{
    return (QString::number(number) + QStringLiteral(". 012345678905")).left(LineLength);
}

qint64 threadCpuNanoseconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

double percentileMs(const std::vector<qint64> &nanoseconds, double fraction)
{
    return Benchmark::percentile(std::vector<double>(nanoseconds.begin(), nanoseconds.end()),
                                 fraction)
        / 1e6;
}

class Bench
{
public:
    Bench() : m_reads(qobject_cast<ReadList *>(m_form.List1->model())), m_watcher(m_form.List1)
    {
        setMessageHandler([](const QString &text) {
            std::fprintf(stderr, "message box: %s\n", qPrintable(text));
        });
        m_form.Comm1.setDevicePath(m_line.devicePath());
        m_form.load();
        m_form.show();
        if (!QTest::qWaitForWindowExposed(&m_form))
            qFatal("the window was never exposed");
        QCoreApplication::processEvents();
    }

    void run()
    {
        std::printf("Platform: %s; before: %s\n", qPrintable(QGuiApplication::platformName()),
                    Benchmark::loadAverage().c_str());
        std::printf("Resident with an empty list: %.1f MB\n\n", Benchmark::residentMegabytes());
        std::printf("Per insert, until the new line is drawn: wall clock, and the CPU time of the "
                    "thread (less\nsensitive to other load on the machine); \"blank first\": "
                    "inserts after which the list was\nfirst repainted with no line in it.\n");
        std::printf("%10s %10s %10s %10s %10s %10s %12s\n", "lines", "median ms", "p99 ms",
                    "max ms", "cpu med", "cpu p99", "blank first");
        bool p99Met = true;
        for (const int scale : Scales) {
            clearList();
            preload(scale);
            if (scale == LargestScale)
                measureMemory();
            p99Met = timeInserts(scale) && p99Met;
        }
        m_targetsMet = m_targetsMet && p99Met;
        Benchmark::printVerdict(QStringLiteral("p99 < %1 ms at %2 lines")
                                    .arg(TargetP99Milliseconds, 0, 'f', 1)
                                    .arg(LargestScale)
                                    .toStdString(),
                                p99Met);
        std::printf("\nResident with %d lines of %d characters: %.1f MB (peak %.1f MB)\n",
                    LargestScale, LineLength, m_residentMegabytes, m_peakMegabytes);
        Benchmark::printVerdict(QStringLiteral("resident < %1 MB")
                                    .arg(TargetResidentMegabytes, 0, 'f', 0)
                                    .toStdString(),
                                m_residentMegabytes < TargetResidentMegabytes);
        std::printf("\n");
        checkWhatTheUserSees();
    }

    bool allMet() const { return m_failures == 0 && m_targetsMet; }

private:
    QAbstractItemView *list() const { return m_form.List1; }

    // Runs the event loop until the watcher has seen what it expects; false when it never came.
    bool untilDrawn()
    {
        QElapsedTimer waited;
        waited.start();
        while (!m_watcher.drawn() && waited.nsecsElapsed() < DrawWaitNanoseconds)
            QCoreApplication::processEvents();
        return m_watcher.drawn();
    }

    bool untilTopLineDrawn(const QString &line)
    {
        m_watcher.expect([line](const QModelIndex &index) {
            return index.row() == 0 && index.data().toString() == line;
        });
        return untilDrawn();
    }

    // How long an action takes until the watcher sees target drawn, in ms; -1 when never.
    template<typename Action>
    double timeUntilDrawn(std::function<bool(const QModelIndex &)> target, Action action)
    {
        m_watcher.expect(std::move(target));
        QElapsedTimer timer;
        timer.start();
        action();
        return untilDrawn() ? double(timer.nsecsElapsed()) / 1e6 : -1;
    }

    void clearList()
    {
        m_watcher.expect({});
        m_form.Clrlist->click();
        untilDrawn();
    }

    void preload(int lines)
    {
        for (int i = 1; i <= lines; ++i)
            m_reads->insertTop(lineFor(i));
        list()->scrollToTop();
        if (lines > 0)
            untilTopLineDrawn(lineFor(lines));
    }

    bool timeInserts(int scale)
    {
        std::vector<qint64> times;
        std::vector<qint64> cpuTimes;
        times.reserve(InsertsPerScale);
        cpuTimes.reserve(InsertsPerScale);
        int blankFirst = 0;
        int neverDrawn = 0;
        QElapsedTimer timer;
        for (int i = 1; i <= InsertsPerScale; ++i) {
            const QString line = lineFor(scale + i);
            const qint64 cpuStart = threadCpuNanoseconds();
            timer.start();
            m_reads->insertTop(line);
            if (!untilTopLineDrawn(line))
                ++neverDrawn;
            times.push_back(timer.nsecsElapsed());
            cpuTimes.push_back(threadCpuNanoseconds() - cpuStart);
            if (m_watcher.blankRepaintsBefore() > 0)
                ++blankFirst;
        }
        const double p99 = percentileMs(times, 0.99);
        std::printf("%10d %10.3f %10.3f %10.3f %10.3f %10.3f %12d%s\n", scale,
                    percentileMs(times, 0.5), p99, percentileMs(times, 1.0),
                    percentileMs(cpuTimes, 0.5), percentileMs(cpuTimes, 0.99), blankFirst,
                    neverDrawn ? qPrintable(QStringLiteral("  (%1 never drawn)").arg(neverDrawn))
                               : "");
        std::fflush(stdout);
        return neverDrawn == 0 && (scale != LargestScale || p99 < TargetP99Milliseconds);
    }

    void measureMemory()
    {
        m_residentMegabytes = Benchmark::residentMegabytes();
        m_peakMegabytes = Benchmark::procMegabytes("/proc/self/status", "VmHWM");
        m_targetsMet = m_targetsMet && m_residentMegabytes < TargetResidentMegabytes;
    }

    void check(bool passed, const char *what)
    {
        std::printf("  %-6s %s\n", passed ? "ok" : "FAILED", what);
        if (!passed)
            ++m_failures;
    }

    QString textAt(const QPoint &point) const { return list()->indexAt(point).data().toString(); }

    bool shows(int row) const
    {
        const QRect rect = list()->visualRect(list()->model()->index(row, 0));
        return list()->viewport()->rect().contains(rect);
    }

    void click(int row)
    {
        const QRect rect = list()->visualRect(list()->model()->index(row, 0));
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, rect.center());
        QCoreApplication::processEvents();
    }

    QStringList selectedLines() const
    {
        QStringList lines;
        for (const QModelIndex &index : list()->selectionModel()->selectedIndexes())
            lines << index.data().toString();
        return lines;
    }

    // What the window system holds for the list's viewport, against the viewport drawn anew: a
    // view that repaints only part of itself after an insert must leave nothing stale behind.
    bool screenMatchesFreshDrawing() const
    {
        QWidget *viewport = list()->viewport();
        const QPoint origin = viewport->mapTo(&m_form, QPoint(0, 0));
        const QImage onScreen = m_form.screen()
                                    ->grabWindow(m_form.winId(), origin.x(), origin.y(),
                                                 viewport->width(), viewport->height())
                                    .toImage()
                                    .convertToFormat(QImage::Format_RGB32);
        const QImage fresh = viewport->grab().toImage().convertToFormat(QImage::Format_RGB32);
        return !onScreen.isNull() && onScreen == fresh;
    }

    void checkWhatTheUserSees()
    {
        const int lines = LargestScale;
        clearList();
        preload(lines);
        QScrollBar *scrollBar = list()->verticalScrollBar();
        const QPoint topLeft(2, 2);
        std::printf("What the user sees with %d lines:\n", lines);

        check(textAt(topLeft) == lineFor(lines), "the newest line is at the top of the list");

        click(1);
        click(3);
        // A click arms the view's delayed scroll to the clicked line; let it pass, as it does
        // while a user looks, rather than have it pull the list down in the middle of the inserts.
        QTest::qWait(QApplication::doubleClickInterval() + 200);
        check(selectedLines() == QStringList {lineFor(lines - 3)},
              "clicking a second line leaves only that line selected");
        int newest = lines;
        for (int i = 0; i < InsertsBeforeScreenCheck; ++i) {
            m_reads->insertTop(lineFor(++newest));
            untilTopLineDrawn(lineFor(newest));
        }
        check(selectedLines() == QStringList {lineFor(lines - 3)}
                  && textAt(topLeft) == lineFor(newest),
              "new lines go on top and the selection stays on its line");
        check(screenMatchesFreshDrawing(),
              "the list on the screen is what a fresh drawing of it shows");

        list()->setFocus();
        const auto isOldest
            = [](const QModelIndex &index) { return index.data().toString() == lineFor(1); };
        const double endMs
            = timeUntilDrawn(isOldest, [this] { QTest::keyClick(list(), Qt::Key_End); });
        const int rows = list()->model()->rowCount();
        check(selectedLines() == QStringList {lineFor(1)} && shows(rows - 1)
                  && scrollBar->value() == scrollBar->maximum(),
              "End selects the oldest line, alone, and scrolls to the bottom to show it");
        QTest::keyClick(list(), Qt::Key_Up);
        QCoreApplication::processEvents();
        check(selectedLines() == QStringList {lineFor(2)} && shows(rows - 2),
              "Up from there selects the line above it instead");

        const int middleRow = scrollBar->maximum() / 2;
        const double middleMs = timeUntilDrawn(
            [middleRow](const QModelIndex &index) { return index.row() == middleRow; },
            [scrollBar, middleRow] { scrollBar->setValue(middleRow); });
        const QString middle = textAt(topLeft);
        check(middleMs >= 0 && !middle.isEmpty() && middle != lineFor(1)
                  && middle != lineFor(newest),
              "dragging the scroll bar half way shows lines from the middle");
        const int maximum = scrollBar->maximum();
        const int value = scrollBar->value();
        m_reads->insertTop(lineFor(++newest));
        m_watcher.expect({});
        untilDrawn();
        check(scrollBar->maximum() > maximum && scrollBar->value() == value
                  && !textAt(topLeft).isEmpty(),
              "a read while scrolled away grows the scroll range and keeps the place");
        const double homeMs = timeUntilDrawn(
            [newest](const QModelIndex &index) {
                return index.data().toString() == lineFor(newest);
            },
            [this] { QTest::keyClick(list(), Qt::Key_Home); });
        check(textAt(topLeft) == lineFor(newest)
                  && selectedLines() == QStringList {lineFor(newest)},
              "Home goes back to the newest line");
        std::printf("  until drawn: End %.3f ms, scroll bar to the middle %.3f ms, Home %.3f ms\n",
                    endMs, middleMs, homeMs);

        // Copy All, as from the list's context menu: the window waits for it.
        QAction *copyAll = nullptr;
        for (QAction *action : list()->actions()) {
            if (action->text() == QStringLiteral("Copy All"))
                copyAll = action;
        }
        QElapsedTimer copying;
        copying.start();
        copyAll->trigger();
        const double copyMs = double(copying.nsecsElapsed()) / 1e6;
        const QString copied = QGuiApplication::clipboard()->text();
        const int listed = list()->model()->rowCount();
        check(copied.count(u'\n') == listed - 1 && copied.startsWith(lineFor(newest) + u'\n')
                  && copied.endsWith(u'\n' + lineFor(1)),
              "Copy All takes every line, newest first");
        std::printf("  Copy All with %d lines: %.3f ms\n", listed, copyMs);
        Benchmark::printVerdict("Copy All within 1 s", copyMs < TargetCopyAllMilliseconds);
        m_targetsMet = m_targetsMet && copyMs < TargetCopyAllMilliseconds;

        m_watcher.expect({});
        QElapsedTimer timer;
        timer.start();
        m_form.Clrlist->click();
        const double handlerMs = double(timer.nsecsElapsed()) / 1e6;
        untilDrawn();
        const double clearMs = double(timer.nsecsElapsed()) / 1e6;
        check(list()->model()->rowCount() == 0 && selectedLines().isEmpty()
                  && scrollBar->maximum() == 0,
              "Clear List empties the list, its selection and its scroll range");
        m_reads->insertTop(lineFor(1));
        untilTopLineDrawn(lineFor(1));
        check(textAt(topLeft) == lineFor(1) && m_form.ReadNumber == QStringLiteral("1"),
              "after Clear List the list starts again");
        std::printf("  Clear List with %d lines: %.3f ms in the handler, %.3f ms until "
                    "repainted\n",
                    rows, handlerMs, clearMs);
    }

    PseudoTerminal m_line;
    Form1 m_form;
    ReadList *m_reads;
    DrawWatcher m_watcher;
    double m_residentMegabytes = 0;
    double m_peakMegabytes = 0;
    bool m_targetsMet = true;
    int m_failures = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    bool platformGiven = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    for (int i = 1; i < argc; ++i)
        platformGiven = platformGiven || std::strcmp(argv[i], "-platform") == 0;
    if (!platformGiven)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    try {
        Bench bench;
        bench.run();
        return bench.allMet() ? 0 : 1;
    } catch (const RunTimeError &error) {
        std::fprintf(stderr, "bench-listscale: %s\n", qPrintable(error.message()));
        return 2;
    }
}
