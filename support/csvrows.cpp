// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "csvrows.h"

#include "csvreader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QProcess>
#include <QtGlobal>

namespace {

// Long enough for a soak's log of 200,000 rows.
constexpr int PythonMilliseconds = 120'000;

} // namespace

bool pythonCsvReaderStarts()
{
    static const bool starts = [] {
        QProcess python;
        python.start(QStringLiteral("python3"),
                     {QStringLiteral("-c"), QStringLiteral("import csv")});
        return python.waitForFinished(PythonMilliseconds)
            && python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0;
    }();
    return starts;
}

QByteArray pythonCsvRows(const QString &path)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"), QStringLiteral(R"(import csv, json, sys
with open(sys.argv[1], newline='', encoding='utf-8') as file:
    json.dump(list(csv.reader(file, strict=True)), sys.stdout))"),
                  path});
    if (!python.waitForFinished(PythonMilliseconds) || python.exitCode() != 0)
        qFatal("python3 could not read %s: %s", qPrintable(path),
               python.readAllStandardError().data());
    return python.readAllStandardOutput();
}

QList<QStringList> csvRowsOf(const QString &path)
{
    QList<QStringList> rows;
    for (const QJsonValue &row : QJsonDocument::fromJson(csvRowsAsJson(path)).array())
        rows << row.toVariant().toStringList();
    return rows;
}

QByteArray unescaped(const QString &cell)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < cell.size(); ++i) {
        const char c = cell.at(i).toLatin1();
        if (c != '\\') {
            bytes += c;
            continue;
        }
        const char escape = cell.at(++i).toLatin1();
        if (escape == 'x') {
            bytes += static_cast<char>(cell.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else {
            const QByteArray plain("\r\n\t\0", 4);
            const qsizetype named = QByteArray("rnt0").indexOf(escape);
            bytes += named >= 0 ? plain.at(named) : escape;
        }
    }
    return bytes;
}
