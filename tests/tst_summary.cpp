// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "csvrows.h"
#include "logreading.h"
#include "logrows.h"
#include "runsummary.h"
#include "speedsummary.h"
#include "summarycsv.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <cmath>
#include <optional>

namespace {

const char *const Refused = "Scan1 > Scan2, try again!";
const char *const Reopened = "the scanner's port was lost and opened again between the two reads, "
                             "which may not be of one pass";

// The log's own time, s seconds after 10:00 at UTC+01:00.
QString timeAt(int seconds)
{
    return QStringLiteral("2026-12-08T%1:%2:%3.250000+01:00")
        .arg(10 + seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// A session log written as Pelmar writes it, from a script of what happened, one step at a
// semicolon:
//   A B 59        a pass: reads of A then B, and Calculate Speed giving 59 mph full size
//   A B 59 e58.5  the same, with 58.5 mph by the monotonic clock (59 by default)
//   A B 59 s      the same, with no speed by the monotonic clock, as in an older row
//   A B -         Calculate Speed refused for that pair
//   A B 59 r      the scanner was unplugged between the two reads
//   again 61      Calculate Speed once more for the same reads, a distance changed to give 61
//   read A        a read alone
//   cut           a read row cut short by a crash
//   clear         Clear List
//   start         a new session
// With fewer columns, rows have those of an earlier Pelmar: 17 without the pair, 14 without the
// exact speeds as well.
QByteArray logOf(const QString &script, qsizetype columns = 21)
{
    const QStringList header = sessionLogColumns().first(columns);
    QString log = csvRow(header);
    int second = 0;
    int number = 0;
    QString firstNumber;
    QString firstCode;
    QString secondNumber;
    QString secondCode;
    bool nextIsFirst = true;
    const auto row = [&](const QStringList &fields) {
        log += csvRow(fields.first(header.size()));
        second += 3;
    };
    const auto read = [&](const QString &code) {
        const QString numberText = QString::number(++number);
        row(readFields(timeAt(second),
                       {numberText, code, code + "\r\n", {}, numberText + ". " + code}));
        (nextIsFirst ? firstNumber : secondNumber) = numberText;
        (nextIsFirst ? firstCode : secondCode) = code;
        nextIsFirst = !nextIsFirst;
    };
    const auto speed = [&](std::optional<double> mph, std::optional<double> exact, bool reopened) {
        SpeedRecord record;
        record.distanceInches = 12;
        record.scale = 87;
        if (mph) {
            record.modelMph = *mph / 87;
            record.fullMph = *mph;
            record.exactMicroseconds = exact ? qint64(1) : std::optional<qint64>();
        } else {
            record.note = QString::fromLatin1(Refused);
        }
        record.reopenedBetween = reopened;
        record.scan1Number = firstNumber;
        record.scan1Code = firstCode;
        record.scan2Number = secondNumber;
        record.scan2Code = secondCode;
        QStringList fields = speedFields(timeAt(second), record);
        // The exact figure as given, not as one microsecond would make it.
        fields[16] = exact ? numberCell(*exact) : QString();
        row(fields);
    };
    const auto start = [&] {
        row(startFields(timeAt(second), QStringLiteral("1.0"), QStringLiteral("/dev/ttyUSB0"), 87,
                        true));
        number = 0;
        nextIsFirst = true;
        firstNumber = firstCode = secondNumber = secondCode = QString();
    };
    start();
    for (const QString &step : script.split(u';', Qt::SkipEmptyParts)) {
        const QStringList words = step.split(u' ', Qt::SkipEmptyParts);
        if (words.first() == u"start") {
            start();
        } else if (words.first() == u"clear") {
            row(clearListFields(timeAt(second)));
            number = 0;
            nextIsFirst = true;
        } else if (words.first() == u"cut") {
            log += timeAt(second) + QStringLiteral(",read,9\r\n");
            nextIsFirst = !nextIsFirst;
        } else if (words.first() == u"read") {
            read(words.at(1));
        } else if (words.first() == u"again") {
            speed(words.at(1).toDouble(), words.at(1).toDouble(), false);
        } else {
            read(words.at(0));
            read(words.at(1));
            const bool refused = words.at(2) == u"-";
            const QString last = words.last();
            const std::optional<double> mph
                = refused ? std::nullopt : std::optional(words.at(2).toDouble());
            std::optional<double> exact;
            if (last.startsWith(u'e'))
                exact = last.mid(1).toDouble();
            else if (last != u"s")
                exact = mph;
            speed(mph, exact, last == u"r");
        }
    }
    return log.toUtf8();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
}

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

Run summarise(const SummaryRequest &request)
{
    Run run;
    run.status = runSummary(
        request, [&run](const QString &text) { run.out += text; },
        [&run](const QString &text) { run.err += text + u'\n'; });
    return run;
}

// What a summary found, in a few words a line: each model of each session, then each speed set
// aside.
QStringList findings(const SpeedSummary &summary)
{
    QStringList lines;
    for (const ModelSummary &model : summary.models) {
        QString line = QStringLiteral("%1: %2 kept, %3 out, median %4")
                           .arg(modelName(summary, model.firstCode, model.secondCode))
                           .arg(model.keptPasses())
                           .arg(model.outliers.size())
                           .arg(model.medianMph);
        if (summary.readings.sessions.size() > 1)
            line.prepend(QStringLiteral("session %1 ").arg(model.session + 1));
        if (model.againstPercent)
            line += QStringLiteral(", %1 %").arg(*model.againstPercent, 0, 'f', 1);
        if (model.singlePrecisionPasses > 0)
            line += QStringLiteral(", %1 single").arg(model.singlePrecisionPasses);
        lines << line;
    }
    const char *const reasons[]
        = {"refused", "no distance", "without reads", "one code twice", "mixed", "reopened"};
    for (const SetAside &aside : summary.setAside) {
        const SpeedPress &speed = summary.readings.speeds[aside.speed];
        lines << QStringLiteral("aside %1: %2")
                     .arg(modelName(summary, speed.firstCode, speed.secondCode),
                          QLatin1String(reasons[static_cast<int>(aside.reason)]));
    }
    return lines;
}

// Counts of the page's elements by name and class, and each model's colour and shape, checking as
// it goes that nothing is fetched or run.
void readPage(const QString &path, QHash<QString, int> &counts, QSet<QString> &marks)
{
    QFile page(path);
    QVERIFY(page.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&page);
    QString fill;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString element = xml.name().toString();
        const QString kind = xml.attributes().value(QStringLiteral("class")).toString();
        QVERIFY2(element != u"script" && element != u"link" && element != u"img",
                 qPrintable(element));
        for (const QXmlStreamAttribute &attribute : xml.attributes()) {
            QVERIFY2(!attribute.value().contains(u"http") && !attribute.value().contains(u"url("),
                     qPrintable(attribute.value().toString()));
        }
        ++counts[element + u'.' + kind];
        // A pass's first drawing after its title is its model's shape, in its model's colour.
        if (kind == u"pass") {
            fill = xml.attributes().value(QStringLiteral("fill")).toString();
        } else if (!fill.isEmpty() && element != u"title") {
            marks << fill + u' ' + element + u' '
                    + xml.attributes().value(QStringLiteral("d")).toString();
            fill.clear();
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
}

} // namespace

class TestSummary : public QObject
{
    Q_OBJECT

private slots:
    void passesAreSummedUpByModel_data();
    void passesAreSummedUpByModel();
    void badInputIsNamedWithItsStatus_data();
    void badInputIsNamedWithItsStatus();
    void csvAndPageCarryTheSameSummary();
    void tenModelsAreToldApartOnThePage();
};

void TestSummary::passesAreSummedUpByModel_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("against");
    QTest::addColumn<QStringList>("found");

    const QString oddOneOut = QStringLiteral("A B 59;A B 60;A B 47;A B 61");
    QTest::newRow("the odd pass left out, the median of the rest")
        << oddOneOut << 21 << "" << QStringList {"A -> B: 3 kept, 1 out, median 60, 100.0 %"};
    QTest::newRow("the previous layout: the pair found from the reads")
        << oddOneOut << 17 << "" << QStringList {"A -> B: 3 kept, 1 out, median 60, 100.0 %"};
    QTest::newRow("an even count's median")
        << "A B 59;A B 61;A B 60;A B 62" << 21 << ""
        << QStringList {"A -> B: 4 kept, 0 out, median 60.5, 100.0 %"};
    QTest::newRow("within a tenth of the median, kept")
        << "A B 54.1;A B 60;A B 60;A B 65.9" << 21 << ""
        << QStringList {"A -> B: 4 kept, 0 out, median 60, 100.0 %"};
    QTest::newRow("two passes: neither left out")
        << "A B 50;A B 70" << 21 << "" << QStringList {"A -> B: 2 kept, 0 out, median 60, 100.0 %"};
    QTest::newRow("the exact speed where the row has it")
        << "A B 59 e58;A B 60;A B 61 s" << 21 << ""
        << QStringList {"A -> B: 3 kept, 0 out, median 60, 100.0 %, 1 single"};
    QTest::newRow("two models against the slowest")
        << "A B 45;C D 60;A B 46;C D 61;A B 44;C D 59" << 21 << ""
        << QStringList {"A -> B: 3 kept, 0 out, median 45, 100.0 %",
                        "C -> D: 3 kept, 0 out, median 60, 133.3 %"};
    QTest::newRow("against a code of the faster one")
        << "A B 45;C D 60;A B 46;C D 61;A B 44;C D 59" << 21 << "D"
        << QStringList {"A -> B: 3 kept, 0 out, median 45, 75.0 %",
                        "C -> D: 3 kept, 0 out, median 60, 100.0 %"};
    QTest::newRow("a mixed pair and one code twice, not averaged in")
        << "A B 45;C D 60;B C 80;A B 46;A A 10;C D 61" << 21 << ""
        << QStringList {"A -> B: 2 kept, 0 out, median 45.5, 100.0 %",
                        "C -> D: 2 kept, 0 out, median 60.5, 133.0 %", "aside B -> C: mixed",
                        "aside A -> A: one code twice"};
    QTest::newRow("refused, reopened and 0 mph speeds, not averaged in")
        << "A B 45;A B -;A B 200 r;A B 0;A B 46" << 21 << ""
        << QStringList {"A -> B: 2 kept, 0 out, median 45.5, 100.0 %", "aside A -> B: refused",
                        "aside A -> B: reopened", "aside A -> B: no distance"};
    QTest::newRow("pressed again for one pass: the last press counts once")
        << "A B 45;again 50;A B 46;A B 44;again 47" << 21 << ""
        << QStringList {"A -> B: 3 kept, 0 out, median 47, 100.0 %"};
    QTest::newRow("the same codes the other way are a model of their own")
        << "A B 45;B A 30;A B 46;B A 31" << 21 << ""
        << QStringList {"A -> B: 2 kept, 0 out, median 45.5, 149.2 %",
                        "B -> A: 2 kept, 0 out, median 30.5, 100.0 %"};
    QTest::newRow("sessions apart")
        << "A B 45;A B 47;start;A B 60" << 21 << ""
        << QStringList {"session 1 A -> B: 2 kept, 0 out, median 46, 100.0 %",
                        "session 2 A -> B: 1 kept, 0 out, median 60, 100.0 %"};
    QTest::newRow("the previous layout: a read lost, the next pair not known")
        << "A B 45;read A;cut;A B 50;A B 46" << 17 << ""
        << QStringList {"A -> B: 1 kept, 0 out, median 45, 100.0 %", "aside ? -> ?: without reads",
                        "aside ? -> ?: without reads"};
    QTest::newRow("the previous layout: Clear List starts a pair again")
        << "A B 45;read A;clear;A B 50;A B 46" << 17 << ""
        << QStringList {"A -> B: 3 kept, 0 out, median 46, 100.0 %"};
    QTest::newRow("the previous layout: the first speed of a session has no pair")
        << "read A;again 45;read B;again 46" << 17 << ""
        << QStringList {"A -> B: 1 kept, 0 out, median 46, 100.0 %", "aside A -> ?: without reads"};
}

void TestSummary::passesAreSummedUpByModel()
{
    QFETCH(QString, script);
    QFETCH(int, columns);
    QFETCH(QString, against);
    QFETCH(QStringList, found);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("session.csv"));
    writeFile(path, logOf(script, columns));
    Readings readings;
    const Result<> read = readSessionLogs({path}, readings);
    if (!read)
        QFAIL(qPrintable(read.error()));
    const Result<SpeedSummary> summary = summariseSpeeds(std::move(readings), against);
    if (!summary)
        QFAIL(qPrintable(summary.error()));
    QCOMPARE(findings(*summary), found);
}

void TestSummary::badInputIsNamedWithItsStatus_data()
{
    QTest::addColumn<QString>("name"); // of the log, in a folder of its own
    QTest::addColumn<QByteArray>("content"); // none: nothing made by that name
    QTest::addColumn<QStringList>("arguments"); // after the log: --against CODE, or an output
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message"); // on err, the folder's path taken out
    QTest::addColumn<QString>("summed"); // a line the summary holds, or none for no summary

    const QByteArray log = logOf(QStringLiteral("A B 59;A B 60;A B 61"));
    QTest::newRow("a whole log") << "s.csv" << log << QStringList() << 0 << ""
                                 << "A -> B";
    QTest::newRow("no such file") << "s.csv" << QByteArray() << QStringList() << 1
                                  << "/s.csv: no such file\n"
                                  << "";
    QTest::newRow("a folder") << "." << QByteArray() << QStringList() << 1
                              << "/. is a folder, not a session log\n"
                              << "";
    QTest::newRow("empty") << "s.csv" << QByteArray("") << QStringList() << 1
                           << "/s.csv is empty, where a session log begins with its header\n"
                           << "";
    QTest::newRow("not a Pelmar log")
        << "notes.csv" << QByteArray("Bring the 2-8-0 on Sunday\n") << QStringList() << 1
        << "/notes.csv is not a Pelmar session log: its first line is not the header of one\n"
        << "";
    QTest::newRow("the header alone")
        << "s.csv" << csvRow(sessionLogColumns()).toUtf8() << QStringList() << 0 << ""
        << "No speed of a model in these logs.";
    QTest::newRow("the first layout, without exact speeds")
        << "s.csv" << logOf(QStringLiteral("A B 59"), 14) << QStringList() << 0 << ""
        << "A -> B       1         0       59.00";
    QTest::newRow("the last row cut by a crash")
        << "s.csv" << log + "2026-12-08T10:00:30.250000+01:00,speed,,,,12,64800,64801,0.9,80"
        << QStringList() << 3
        << "/s.csv line 12: the last row is cut short, as by a crash while it was written: the "
           "log is summed up to the row before it\n"
        << "A -> B       3";
    QTest::newRow("a row cut short inside the log")
        << "s.csv" << logOf(QStringLiteral("A B 59;cut;start;A B 60;A B 61")) << QStringList() << 3
        << "/s.csv line 6: a row of 3 cells where the header has 21, as of a row cut short by a "
           "crash: left out\n"
        << "session 2";
    QTest::newRow("bytes that are not UTF-8")
        << "s.csv" << QByteArray(log).replace("A\\r\\n,", "\xc0\xff\\r\\n,") << QStringList() << 3
        << "/s.csv line 3: bytes that are not UTF-8, which Pelmar never writes: left out\n"
           "/s.csv line 6: bytes that are not UTF-8, which Pelmar never writes: left out\n"
           "/s.csv line 9: bytes that are not UTF-8, which Pelmar never writes: left out\n"
        << "A -> B       3";
    QTest::newRow("codes guarded against formulas, and a format's %2")
        << "s.csv" << logOf(QStringLiteral("=1+2 %2 40;=1+2 %2 41")) << QStringList() << 0 << ""
        << "=1+2 -> %2       2         0       40.50";
    QTest::newRow("a log named with a format's %1") << "a%1b.csv" << log << QStringList() << 0 << ""
                                                    << "a%1b.csv, session 1: started";
    QTest::newRow("a control character in a code, shown escaped")
        << "s.csv" << logOf(QStringLiteral("A\x1b[2J B 40")) << QStringList() << 0 << ""
        << "A\\x1b[2J -> B";
    QTest::newRow("against a code no model has")
        << "s.csv" << log << QStringList {"--against", "Z"} << 2
        << "--against Z: no model in these logs has that code\n"
        << "";
    QTest::newRow("the CSV over the log")
        << "s.csv" << log << QStringList {"--summary-csv", "s.csv"} << 2
        << "/s.csv is a log to sum up, and would be "
           "written over\n"
        << "";
    QTest::newRow("the log named twice") << "s.csv" << log << QStringList {"--log", "./s.csv"} << 2
                                         << "/./s.csv is named twice, and would be counted twice\n"
                                         << "";
    QTest::newRow("a page into no folder")
        << "s.csv" << log << QStringList {"--report", "missing/page.html"} << 1
        << "/missing/page.html cannot be written"
        << "A -> B";
}

void TestSummary::badInputIsNamedWithItsStatus()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QString, summed);
    QTemporaryDir folder;
    const QString path = folder.filePath(name);
    if (!content.isNull())
        writeFile(path, content);
    SummaryRequest request;
    request.logs << path;
    for (qsizetype i = 0; i + 1 < arguments.size(); i += 2) {
        const QString value = arguments[i + 1];
        const QString inFolder = folder.filePath(value);
        if (arguments[i] == u"--against")
            request.against = value;
        else if (arguments[i] == u"--summary-csv")
            request.csvPath = inFolder;
        else if (arguments[i] == u"--report")
            request.reportPath = inFolder;
        else
            request.logs << inFolder;
    }
    const Run run = summarise(request);
    QCOMPARE(run.status, status);
    if (message.isEmpty())
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    else
        QVERIFY2(QString(run.err).remove(folder.path()).startsWith(message), qPrintable(run.err));
    if (summed.isEmpty())
        QVERIFY2(run.out.isEmpty(), qPrintable(run.out));
    else
        QVERIFY2(run.out.contains(summed), qPrintable(run.out));
    // Every row left out is named in the summary as well as on err.
    if (status == SummaryRowsLeftOut)
        QVERIFY2(run.out.contains(QStringLiteral("Rows left out:")), qPrintable(run.out));
}

// The CSV read back by a reader that is not Pelmar's, and the page read as XML: the same models,
// passes, outliers and speeds not averaged in as the summary holds.
void TestSummary::csvAndPageCarryTheSameSummary()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("session.csv"));
    writeFile(path,
              logOf(QStringLiteral("=A -B 45;C D 60;=A -B 46;C D 61;=A -B 30;C D 59;-B C 80;"
                                   "C D -;C D 62 e61.5")));
    SummaryRequest request;
    request.logs << path;
    request.csvPath = folder.filePath(QStringLiteral("summary.csv"));
    request.reportPath = folder.filePath(QStringLiteral("summary.html"));
    const Run run = summarise(request);
    QCOMPARE(run.status, 0);

    const QList<QStringList> rows = csvRowsOf(request.csvPath);
    QCOMPARE(rows.first(), summaryCsvColumns());
    QStringList cells;
    for (const QStringList &row : rows.mid(1)) {
        QCOMPARE(row.size(), rows.first().size());
        for (const QString &cell : row) {
            bool number = false;
            cell.toDouble(&number);
            QVERIFY2(number || cell.isEmpty() || !QStringLiteral("=+-@\t\r").contains(cell.front()),
                     qPrintable(row.join(u',')));
        }
        cells << QStringList {row.at(4),
                              textOfCell(row.at(5)),
                              textOfCell(row.at(6)),
                              row.at(7),
                              row.at(8),
                              row.at(9),
                              row.at(15),
                              row.at(18)}
                     .join(u'|');
    }
    QCOMPARE(cells,
             (QStringList {"model|=A|-B|2|1|45.5|100|", "model|C|D|4|0|60.5|132.967032967033|",
                           "outlier|=A|-B|||||30", "not averaged|-B|C|||||80",
                           "not averaged|C|D|||||"}));

    QHash<QString, int> counts;
    QSet<QString> marks;
    readPage(request.reportPath, counts, marks);
    QCOMPARE(counts.value(QStringLiteral("g.pass")), 7);
    QCOMPARE(counts.value(QStringLiteral("circle.outlier")), 1);
    QCOMPARE(counts.value(QStringLiteral("line.median")), 2);
    QCOMPARE(counts.value(QStringLiteral("g.aside")), 1); // the refused speed has no point
    QCOMPARE(marks.size(), 2);
}

// Ten models, each told apart by colour and by shape. With PELMAR_SUMMARY_FOLDER set, the page is
// kept there as ten-models.html, for scripts/check-report to print.
void TestSummary::tenModelsAreToldApartOnThePage()
{
    QTemporaryDir temporary;
    const QString kept = qEnvironmentVariable("PELMAR_SUMMARY_FOLDER");
    const QDir folder(kept.isEmpty() ? temporary.path() : kept);
    QString script;
    for (int pass = 0; pass < 40; ++pass) {
        const int model = pass % 10;
        const double mph = 30 + 8 * model + (pass / 10 == 3 ? 15 : pass / 10);
        script += QStringLiteral("%1 %2 %3;")
                      .arg(QChar(u'A' + 2 * model))
                      .arg(QChar(u'B' + 2 * model))
                      .arg(mph);
    }
    SummaryRequest request;
    request.logs << folder.filePath(QStringLiteral("ten-models.csv"));
    request.reportPath = folder.filePath(QStringLiteral("ten-models.html"));
    writeFile(request.logs.first(), logOf(script));
    QCOMPARE(summarise(request).status, 0);
    QHash<QString, int> counts;
    QSet<QString> marks;
    readPage(request.reportPath, counts, marks);
    QCOMPARE(counts.value(QStringLiteral("g.pass")), 40);
    QCOMPARE(counts.value(QStringLiteral("circle.outlier")), 10);
    QCOMPARE(counts.value(QStringLiteral("line.median")), 10);
    QCOMPARE(marks.size(), 10);
}

QTEST_GUILESS_MAIN(TestSummary)
#include "tst_summary.moc"
