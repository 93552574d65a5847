// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "benchsupport.h"

#include <QCoreApplication>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace Benchmark {

CommandLine::CommandLine(const QString &description, const QList<QCommandLineOption> &options)
{
    setApplicationDescription(description);
    addHelpOption();
    addOptions(options);
    process(*QCoreApplication::instance());
}

int CommandLine::number(const QString &option, int least) const
{
    bool ok = false;
    const int number = value(option).toInt(&ok);
    if (!ok || number < least)
        fail(QStringLiteral("--%1 must be a whole number of at least %2")
                 .arg(option)
                 .arg(least)
                 .toStdString());
    return number;
}

Summary::Summary(std::vector<double> samples) : m_sorted(std::move(samples))
{
    keepSortedNumbers();
}

double Summary::percentile(double fraction) const
{
    if (m_sorted.empty())
        return NAN;
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * count()));
    return m_sorted[std::clamp<std::size_t>(rank, 1, m_sorted.size()) - 1];
}

void Summary::keepSortedNumbers()
{
    std::erase_if(m_sorted, [](double sample) { return std::isnan(sample); });
    std::ranges::sort(m_sorted);
}

void Verdicts::check(bool met, const char *format, ...)
{
    std::va_list values;
    va_start(values, format);
    std::printf("Target ");
    std::vprintf(format, values);
    std::printf(": %s\n", met ? "met" : "MISSED");
    va_end(values);
    m_allMet = m_allMet && met;
}

Hogs::Hogs(int count)
{
    for (int hog = 0; hog < count; ++hog)
        m_threads.emplace_back([](const std::stop_token &stop) {
            while (!stop.stop_requested()) { }
        });
}

std::string loadAverage()
{
    double load[3] = {};
    if (getloadavg(load, 3) != 3)
        return "load average unknown";
    char text[96];
    std::snprintf(text, sizeof text, "load average %.2f %.2f %.2f on %u CPUs", load[0], load[1],
                  load[2], std::thread::hardware_concurrency());
    return text;
}

double procMegabytes(const std::string &pid, const std::string &file, const std::string &field)
{
    std::ifstream in("/proc/" + pid + "/" + file);
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with(field + ":"))
            return std::strtod(line.c_str() + field.size() + 1, nullptr) / 1024;
    }
    return NAN;
}

void warn(const std::string &problem)
{
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, problem.c_str());
}

void fail(const std::string &problem)
{
    warn(problem);
    std::exit(2);
}

} // namespace Benchmark
