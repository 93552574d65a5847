// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

// bench-listscale: the read list at scale, in the real window, shown.

#include "benchsupport.h"
#include "form1.h"
#include "readlist.h"
#include "runtimeerror.h"
#include "startedwindow.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QModelIndex>
#include <QObject>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QString>
#include <QStyleOptionViewItem>
#include <QStyledItemDelegate>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <iterator>
#include <utility>
#include <vector>

namespace {

using Benchmark::Clock;
using Benchmark::milliseconds;

constexpr int InsertsPerScale = 1000;
constexpr int Scales[] = {0, 10'000, 100'000, 1'000'000};
constexpr int LargestScale = Scales[std::size(Scales) - 1];
constexpr int LineLength = 15;
constexpr double TargetP99Milliseconds = 1.0;
constexpr double TargetCopyAllMilliseconds = 1000;
constexpr double TargetResidentMegabytes = 100.0;
// A line that has not been drawn by then is counted as never drawn rather than waited for.
constexpr auto DrawWait = std::chrono::seconds(2);

using Target = std::function<bool(const QModelIndex &)>;

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
    void expect(Target target)
    {
        m_target = std::move(target);
        m_drawn = false;
        m_blankRepaintsBefore = 0;
        m_linesThisRepaint = -1;
    }

    // Runs the event loop until the awaited drawing; false when it never came.
    bool untilDrawn()
    {
        for (const auto end = Clock::now() + DrawWait; !m_drawn && Clock::now() < end;)
            QCoreApplication::processEvents();
        return m_drawn;
    }

    // Repaints before the awaited one that drew no line at all.
    int blankRepaintsBefore() const { return m_blankRepaintsBefore; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        ++m_linesThisRepaint;
        m_drawn = m_drawn || (m_target && m_target(index));
        QStyledItemDelegate::paint(painter, option, index);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_drawn) {
            m_blankRepaintsBefore += m_linesThisRepaint == 0 ? 1 : 0;
            m_linesThisRepaint = 0;
            m_drawn = !m_target;
        }
        // Not the delegate's own filter: that one treats the object it watches as an open editor.
        return QObject::eventFilter(watched, event);
    }

private:
    Target m_target;
    mutable bool m_drawn = false;
    mutable int m_linesThisRepaint = -1;
    int m_blankRepaintsBefore = 0;
};

// A line of exactly LineLength characters, as a read of a 12-character barcode gives while the
// read number has one digit; longer numbers eat into the code so that every line is as long.
QString lineFor(int number)
{
    return (QString::number(number) + QStringLiteral(". 012345678905")).left(LineLength);
}

Target isLine(const QString &line)
{
    return [line](const QModelIndex &index) { return index.data().toString() == line; };
}

double threadCpuMilliseconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

class Bench
{
public:
    Bench() : m_list(m_window.form.List1), m_watcher(m_list)
    {
        m_window.form.show();
        if (!QTest::qWaitForWindowExposed(&m_window.form))
            Benchmark::fail("the window was never exposed");
        QCoreApplication::processEvents();
    }
    ~Bench()
    {
        for (const QString &message : m_window.messages)
            Benchmark::warn("message box: " + message.toStdString());
    }

    bool run()
    {
        std::printf("Platform: %s; before: %s\n", qPrintable(QGuiApplication::platformName()),
                    Benchmark::loadAverage().c_str());
        std::printf("Resident with an empty list: %.1f MB\n\n", residentMegabytes());
        std::printf("Per insert, until the new line is drawn: wall clock, and the CPU time of the "
                    "thread (less\nsensitive to other load on the machine); \"blank first\": "
                    "inserts after which the list was\nfirst repainted with no line in it.\n");
        std::printf("%10s %10s %10s %10s %10s %10s %12s\n", "lines", "median ms", "p99 ms",
                    "max ms", "cpu med", "cpu p99", "blank first");
        bool p99Met = true;
        double resident = 0;
        double peak = 0;
        for (const int scale : Scales) {
            listAnew(scale);
            if (scale == LargestScale) {
                resident = residentMegabytes();
                peak = Benchmark::procMegabytes("self", "status", "VmHWM");
            }
            p99Met = timeInserts(scale) && p99Met;
        }
        m_verdicts.check(p99Met, "p99 < %.1f ms at %d lines", TargetP99Milliseconds, LargestScale);
        std::printf("\nResident with %d lines of %d characters: %.1f MB (peak %.1f MB)\n",
                    LargestScale, LineLength, resident, peak);
        m_verdicts.check(resident < TargetResidentMegabytes, "resident < %.0f MB",
                         TargetResidentMegabytes);
        std::printf("\n");
        timeWhatTheUserDoes();
        return m_verdicts.allMet();
    }

private:
    static double residentMegabytes()
    {
        return Benchmark::procMegabytes("self", "status", "VmRSS");
    }

    void listAnew(int lines)
    {
        timeUntilDrawn({}, [this] { m_window.form.Clrlist->click(); });
        for (int line = 1; line <= lines; ++line)
            m_window.reads().insertTop(lineFor(line));
        m_list->scrollToTop();
        if (lines > 0)
            timeUntilDrawn(isLine(lineFor(lines)), [] {});
    }

    // How long an action takes until the watcher sees target drawn, in ms; -1 when never.
    template<typename Action> double timeUntilDrawn(Target target, Action action)
    {
        m_watcher.expect(std::move(target));
        const Clock::time_point start = Clock::now();
        action();
        return m_watcher.untilDrawn() ? milliseconds(Clock::now() - start) : -1;
    }

    bool timeInserts(int scale)
    {
        std::vector<double> times;
        std::vector<double> cpuTimes;
        int blankFirst = 0;
        int neverDrawn = 0;
        for (int i = 1; i <= InsertsPerScale; ++i) {
            const double cpuStart = threadCpuMilliseconds();
            const QString line = lineFor(scale + i);
            const double time = timeUntilDrawn(
                [line](const QModelIndex &index) {
                    return index.row() == 0 && index.data().toString() == line;
                },
                [this, &line] { m_window.reads().insertTop(line); });
            neverDrawn += time < 0 ? 1 : 0;
            times.push_back(time < 0 ? milliseconds(DrawWait) : time);
            cpuTimes.push_back(threadCpuMilliseconds() - cpuStart);
            blankFirst += m_watcher.blankRepaintsBefore() > 0 ? 1 : 0;
        }
        const Benchmark::Summary wall(times);
        const Benchmark::Summary cpu(cpuTimes);
        std::printf(
            "%10d %10.3f %10.3f %10.3f %10.3f %10.3f %12d%s\n", scale, wall.median(),
            wall.percentile(0.99), wall.maximum(), cpu.median(), cpu.percentile(0.99), blankFirst,
            neverDrawn ? qPrintable(QStringLiteral("  (%1 never drawn)").arg(neverDrawn)) : "");
        std::fflush(stdout);
        return neverDrawn == 0
            && (scale != LargestScale || wall.percentile(0.99) < TargetP99Milliseconds);
    }

    void timeWhatTheUserDoes()
    {
        listAnew(LargestScale);
        std::printf("What the user sees with %d lines:\n", LargestScale);
        m_list->setFocus();
        const double endMs
            = timeUntilDrawn(isLine(lineFor(1)), [this] { QTest::keyClick(m_list, Qt::Key_End); });
        QScrollBar *scrollBar = m_list->verticalScrollBar();
        const int middleRow = scrollBar->maximum() / 2;
        const double middleMs = timeUntilDrawn(
            [middleRow](const QModelIndex &index) { return index.row() == middleRow; },
            [scrollBar, middleRow] { scrollBar->setValue(middleRow); });
        // A read while scrolled away, then back to it.
        const int newest = m_list->model()->rowCount() + 1;
        m_window.reads().insertTop(lineFor(newest));
        const double homeMs = timeUntilDrawn(isLine(lineFor(newest)),
                                             [this] { QTest::keyClick(m_list, Qt::Key_Home); });
        std::printf("  until drawn: End %.3f ms, scroll bar to the middle %.3f ms, Home %.3f ms\n",
                    endMs, middleMs, homeMs);

        // Copy All, as from the list's context menu: the window waits for it.
        const Clock::time_point copying = Clock::now();
        m_list->actions().at(1)->trigger();
        const double copyMs = milliseconds(Clock::now() - copying);
        std::printf("  Copy All with %d lines: %.3f ms\n", newest, copyMs);
        m_verdicts.check(copyMs < TargetCopyAllMilliseconds, "Copy All within 1 s");

        m_watcher.expect({});
        const Clock::time_point clearing = Clock::now();
        m_window.form.Clrlist->click();
        const double handlerMs = milliseconds(Clock::now() - clearing);
        m_watcher.untilDrawn();
        std::printf("  Clear List with %d lines: %.3f ms in the handler, %.3f ms until "
                    "repainted\n",
                    newest, handlerMs, milliseconds(Clock::now() - clearing));
    }

    StartedWindow m_window;
    QAbstractItemView *m_list;
    DrawWatcher m_watcher;
    Benchmark::Verdicts m_verdicts;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    try {
        return Bench().run() ? 0 : 1;
    } catch (const RunTimeError &error) {
        Benchmark::fail(error.message().toStdString());
    }
}
