// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef BENCHSUPPORT_H
#define BENCHSUPPORT_H

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

// What every benchmark does the same way: its command line, its percentiles and verdicts, how
// busy the machine was and how much memory a process holds.
namespace Benchmark {

using Clock = std::chrono::steady_clock;

inline double milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

// The options given, with --help; a benchmark exits with status 2 on a command line it refuses.
class CommandLine : public QCommandLineParser
{
public:
    CommandLine(const QString &description, const QList<QCommandLineOption> &options);
    int number(const QString &option, int least) const;
};

// One measured figure over its samples, by nearest-rank percentiles of the samples that are
// numbers: NaN when there are none.
class Summary
{
public:
    explicit Summary(std::vector<double> samples);
    // The figure that projection takes from each item, NaN where an item has none.
    template<typename Items, typename Projection> Summary(const Items &items, Projection projection)
    {
        std::ranges::transform(items, std::back_inserter(m_sorted), projection);
        keepSortedNumbers();
    }

    int count() const { return static_cast<int>(m_sorted.size()); }
    double percentile(double fraction) const;
    double median() const { return percentile(0.5); }
    double maximum() const { return percentile(1); }

private:
    void keepSortedNumbers();

    std::vector<double> m_sorted;
};

// Prints each target as "Target <target>: met" or "... MISSED" on a line of its own, the target
// written as printf writes format.
class Verdicts
{
public:
    void check(bool met, const char *format, ...) __attribute__((format(printf, 3, 4)));
    bool allMet() const { return m_allMet; }

private:
    bool m_allMet = true;
};

// Threads that keep CPUs busy for as long as they live, as other work on the machine would.
class Hogs
{
public:
    explicit Hogs(int count);

private:
    std::vector<std::jthread> m_threads;
};

// "load average 0.61 0.94 0.57 on 2 CPUs": other work on the machine shows in every timing.
std::string loadAverage();

// A kB figure of a /proc file of the form "Name:   1234 kB" (status, smaps_rollup), in MB; NaN
// when it is missing.
double procMegabytes(const std::string &pid, const std::string &file, const std::string &field);

// The problem on standard error after the program's name; fail then exits with status 2.
void warn(const std::string &problem);
[[noreturn]] void fail(const std::string &problem);

} // namespace Benchmark

#endif // BENCHSUPPORT_H
