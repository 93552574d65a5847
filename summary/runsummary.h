// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef RUNSUMMARY_H
#define RUNSUMMARY_H

#include <QLatin1String>
#include <QString>
#include <QStringList>

#include <functional>

// pelmar --summary: session logs summed up with no window and no port.

struct SummaryRequest
{
    QStringList logs;
    QString csvPath; // --summary-csv, or empty
    QString reportPath; // --report, or empty
    QString against; // --against, or empty for the slowest model of each session
};

// The options' help, for the command line's --help.
inline constexpr QLatin1String SummaryHelp(
    "Sum up the session logs named (no window, no port): for each model, the two codes of its "
    "pair, and each session, the passes, the median full-size speed in mph and km/h, the lowest, "
    "the highest and the spread, and each model against another. A pass more than 10 % from its "
    "model's median of all its passes in the session is left out as an outlier, once the model "
    "has 3 passes; refused speeds and pairs of one code twice or of two models' codes are listed "
    "apart and never averaged in. Exit status 0; 1 when a log cannot be read as a Pelmar log or "
    "a file cannot be written; 2 for a bad request; 3 when rows were left out (named on "
    "stderr).");
inline constexpr QLatin1String SummaryCsvHelp(
    "With --summary, write the summary to <file> as CSV (RFC 4180, UTF-8, no cell taken for a "
    "formula).");
inline constexpr QLatin1String ReportHelp(
    "With --summary, write the summary to <file.html> as one self-contained page with a chart of "
    "every pass, which prints on one A4 or Letter page for up to 10 models.");
inline constexpr QLatin1String AgainstHelp(
    "With --summary, give each model's median as a percentage of that of the model with <code> "
    "(by default, of the slowest model of each session).");

// Exit statuses of runSummary.
enum SummaryStatus {
    SummaryDone = 0,
    SummaryFailed = 1, // a log could not be read, or a file written: no summary
    SummaryRefused = 2, // the request itself cannot be met
    SummaryRowsLeftOut = 3, // summed up, but rows were left out, each named on err
};

// Prints the summary through out, and every problem, one a line, through err; writes the CSV and
// the page when asked. Returns the exit status.
int runSummary(const SummaryRequest &request, const std::function<void(const QString &)> &out,
               const std::function<void(const QString &)> &err);

#endif // RUNSUMMARY_H
