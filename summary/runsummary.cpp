// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "runsummary.h"

#include "logreading.h"
#include "speedsummary.h"
#include "summarycsv.h"
#include "summarypage.h"
#include "summarytext.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include <functional>
#include <utility>

namespace {

// Whole or not at all: a summary cut short by a full disk would be taken for the whole.
QString writeWhole(const QString &path, const std::function<void(QTextStream &out)> &write)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        QTextStream out(&file);
        out.setEncoding(QStringConverter::Utf8);
        write(out);
        out.flush();
        if (out.status() == QTextStream::Ok && file.commit())
            return {};
    }
    return QStringLiteral("%1 cannot be written: %2").arg(path, file.errorString());
}

bool sameFile(const QString &one, const QString &other)
{
    const QFileInfo oneInfo(one);
    const QFileInfo otherInfo(other);
    return oneInfo.absoluteFilePath() == otherInfo.absoluteFilePath()
        || (oneInfo.exists() && oneInfo.canonicalFilePath() == otherInfo.canonicalFilePath());
}

QString refusal(const SummaryRequest &request)
{
    if (request.logs.isEmpty())
        return QStringLiteral("--summary needs at least one session log");
    for (qsizetype i = 0; i < request.logs.size(); ++i) {
        for (qsizetype j = 0; j < i; ++j) {
            if (sameFile(request.logs[i], request.logs[j]))
                return QStringLiteral("%1 is named twice, and would be counted twice")
                    .arg(request.logs[i]);
        }
    }
    for (const QString &output : {request.csvPath, request.reportPath}) {
        if (output.isEmpty())
            continue;
        for (const QString &log : request.logs) {
            if (sameFile(output, log))
                return QStringLiteral("%1 is a log to sum up, and would be written over")
                    .arg(output);
        }
    }
    if (!request.csvPath.isEmpty() && sameFile(request.csvPath, request.reportPath))
        return QStringLiteral("--summary-csv and --report name one file, %1").arg(request.csvPath);
    return {};
}

} // namespace

int runSummary(const SummaryRequest &request, const std::function<void(const QString &)> &out,
               const std::function<void(const QString &)> &err)
{
    if (const QString refused = refusal(request); !refused.isEmpty()) {
        err(refused);
        return SummaryRefused;
    }
    Readings readings;
    if (const Result<> read = readSessionLogs(request.logs, readings); !read) {
        err(read.error());
        return SummaryFailed;
    }
    const Result<SpeedSummary> summary = summariseSpeeds(std::move(readings), request.against);
    if (!summary) {
        err(summary.error());
        return SummaryRefused;
    }
    out(summaryText(*summary));
    int status = SummaryDone;
    for (const QString &problem : problemTexts(*summary)) {
        err(printableCode(problem));
        status = SummaryRowsLeftOut;
    }
    if (!request.csvPath.isEmpty()) {
        const auto csv = [&summary](QTextStream &out) { out << summaryCsv(*summary); };
        if (const QString failed = writeWhole(request.csvPath, csv); !failed.isEmpty()) {
            err(failed);
            return SummaryFailed;
        }
    }
    if (!request.reportPath.isEmpty()) {
        const auto page = [&summary](QTextStream &out) { writeSummaryPage(out, *summary); };
        if (const QString failed = writeWhole(request.reportPath, page); !failed.isEmpty()) {
            err(failed);
            return SummaryFailed;
        }
    }
    return status;
}
