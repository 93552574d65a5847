// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

// bench-summaryscale: how long summing up a large session log takes, and in how much memory.

#include "benchsupport.h"
#include "logrows.h"
#include "runsummary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

namespace {

using Benchmark::Clock;

constexpr int DefaultRows = 1'000'000;
constexpr double TargetSeconds = 2;
constexpr double TargetMegabytes = 50;
// Three models in turn, each pass a read of each code and a speed, one pass in OddEvery of each
// slow.
const char *const Codes[] = {"111111111111", "222222222222", "333333333333",
                             "444444444444", "555555555555", "666666666666"};
constexpr double Speeds[] = {90, 120, 60};
constexpr qint64 OddEvery = 20;
constexpr double InchesApart = 12;

QString timeAt(qint64 microseconds)
{
    const qint64 seconds = microseconds / 1'000'000;
    return QStringLiteral("2026-12-08T%1:%2:%3.%4+01:00")
        .arg(seconds / 3600 % 24, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'))
        .arg(microseconds % 1'000'000, 6, 10, QLatin1Char('0'));
}

// A log of rows rows as a long session writes it: a start, then passes of three models, a Clear
// List every 1,000 reads; with readsOnly, only reads, as a scanner in constant mode sends them.
void writeLog(const QString &path, qint64 rows, bool readsOnly)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        Benchmark::fail(("cannot write " + path + ": " + file.errorString()).toStdString());
    QByteArray group = csvRow(sessionLogColumns()).toUtf8();
    group += csvRow(startFields(timeAt(0), QStringLiteral("1.0"), QStringLiteral("/dev/ttyUSB0"),
                                87, true))
                 .toUtf8();
    qint64 number = 0;
    qint64 pass = 0;
    qint64 time = 0;
    for (qint64 row = 2; row < rows;) {
        const int model = static_cast<int>(pass % 3);
        const QString first = QString::fromLatin1(Codes[2 * model]);
        const QString second = QString::fromLatin1(Codes[2 * model + 1]);
        const auto read = [&](const QString &code) {
            const QString text = QString::number(++number);
            group += csvRow(readFields(timeAt(time += 500'000),
                                       {text, code, code + "\r\n", {}, text + ". " + code}))
                         .toUtf8();
            ++row;
        };
        read(first);
        read(second);
        if (!readsOnly && row < rows) {
            const double mph = Speeds[model] * (pass / 3 % OddEvery == OddEvery - 1 ? 0.8 : 1)
                * (1 + (pass % 7) * 1e-3);
            SpeedRecord speed;
            speed.distanceInches = InchesApart;
            speed.scan1 = 64800;
            speed.scan2 = 64801;
            speed.scale = 87;
            speed.modelMph = mph / 87;
            speed.fullMph = mph;
            // The time between the reads that gives that speed, to the microsecond.
            speed.exactMicroseconds
                = std::llround(InchesApart / 12 / (mph / 87 * 5280 / 3600) * 1e6);
            speed.scan1Number = QString::number(number - 1);
            speed.scan1Code = first;
            speed.scan2Number = QString::number(number);
            speed.scan2Code = second;
            QStringList fields = speedFields(timeAt(time += 500'000), speed);
            group += csvRow(fields).toUtf8();
            ++row;
        }
        if (number % 1000 == 0 && row < rows) {
            group += csvRow(clearListFields(timeAt(time += 1000))).toUtf8();
            number = 0;
            ++row;
        }
        ++pass;
        if (group.size() > (1 << 20)) {
            file.write(group);
            group.clear();
        }
    }
    file.write(group);
    if (!file.flush())
        Benchmark::fail(("cannot write " + path + ": " + file.errorString()).toStdString());
}

// The child's part: one summary of path, its time and its peak resident memory on stdout; with
// files, the CSV and the page too, beside the log.
int summarise(const QString &path, bool files)
{
    SummaryRequest request;
    request.logs << path;
    if (files) {
        request.csvPath = path + QStringLiteral(".summary.csv");
        request.reportPath = path + QStringLiteral(".summary.html");
    }
    qsizetype printed = 0;
    const auto start = Clock::now();
    const std::clock_t cpuStart = std::clock();
    const int status = runSummary(
        request, [&printed](const QString &text) { printed += text.size(); },
        [](const QString &text) { std::fprintf(stderr, "%s\n", qPrintable(text)); });
    const double seconds = Benchmark::milliseconds(Clock::now() - start) / 1000;
    const double cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    std::printf("%.3f %.1f %lld %d %.3f\n", seconds,
                Benchmark::procMegabytes("self", "status", "VmHWM"),
                static_cast<long long>(printed), status, cpuSeconds);
    for (const QString &file : {request.csvPath, request.reportPath}) {
        if (!file.isEmpty()) {
            std::fprintf(stderr, "%s: %.1f MB\n", qPrintable(QFileInfo(file).fileName()),
                         static_cast<double>(QFileInfo(file).size()) / 1e6);
            QFile::remove(file);
        }
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const Benchmark::CommandLine commandLine(
        QStringLiteral("Writes a session log of --rows rows (passes of three models, or reads "
                       "alone) and times the summary of it in a process of its own, with its "
                       "peak resident memory."),
        {{"rows", "Rows in the log (default 1000000).", "n", QString::number(DefaultRows)},
         {"reads-only", "Reads alone, as from a scanner in constant mode: no speed to keep."},
         {"log",
          "Where the log goes (default /var/tmp/pelmar-summary-bench.csv), removed at the "
          "end.",
          "file", "/var/tmp/pelmar-summary-bench.csv"},
         {"keep", "Leave the log in place at the end."},
         {"files", "Write the CSV and the page as well (the targets are for the text alone)."},
         {"summarise", "(The child's part) sum up <file> and print the figures.", "file"}});
    if (commandLine.isSet("summarise"))
        return summarise(commandLine.value("summarise"), commandLine.isSet("files"));

    const int rows = commandLine.number("rows", 3);
    const QString log = commandLine.value("log");
    const auto writing = Clock::now();
    writeLog(log, rows, commandLine.isSet("reads-only"));
    std::printf("%s\nwrote %d rows, %.1f MB, in %.1f s\n", Benchmark::loadAverage().c_str(), rows,
                static_cast<double>(QFileInfo(log).size()) / 1e6,
                Benchmark::milliseconds(Clock::now() - writing) / 1000);

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments {"--summarise", log};
    if (commandLine.isSet("files"))
        arguments << "--files";
    child.start(QCoreApplication::applicationFilePath(), arguments);
    child.waitForFinished(-1);
    if (!commandLine.isSet("keep"))
        QFile::remove(log);
    const QStringList figures = QString::fromLatin1(child.readAllStandardOutput()).split(u' ');
    if (figures.size() != 5)
        Benchmark::fail("the child gave no figures");
    const double seconds = figures[0].toDouble();
    const double megabytes = figures[1].toDouble();
    std::printf("summary: %.3f s (%.3f s of processor time), peak resident %.1f MB, %s characters "
                "of text, exit status %s\n",
                seconds, figures[4].toDouble(), megabytes, qPrintable(figures[2]),
                qPrintable(figures[3].trimmed()));
    Benchmark::Verdicts verdicts;
    verdicts.check(seconds < TargetSeconds, "under %.0f s", TargetSeconds);
    verdicts.check(megabytes < TargetMegabytes, "under %.0f MB resident", TargetMegabytes);
    return verdicts.allMet() ? 0 : 1;
}
