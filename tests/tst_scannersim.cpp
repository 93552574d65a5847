// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "framedecoder.h"
#include "options.h"
#include "readschedule.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::string bytesFromHex(const char *hex)
{
    return QByteArray::fromHex(hex).toStdString();
}

QStringList decoded(const std::vector<std::string> &items)
{
    QStringList list;
    for (const std::string &item : items)
        list << QString::fromStdString(item);
    return list;
}

double secondsSince(const timespec &start)
{
    timespec time;
    clock_gettime(CLOCK_MONOTONIC, &time);
    return static_cast<double>(time.tv_sec - start.tv_sec)
        + static_cast<double>(time.tv_nsec - start.tv_nsec) / 1e9;
}

struct PassOverLine
{
    QByteArray received;
    std::vector<double> arrivals; // seconds, one per byte received
    QList<QByteArray> log;
    int exitCode = -1;
};

// Runs the simulator for one pass and reads it at the slave end, sending On meanwhile.
PassOverLine runPassOverLine()
{
    PassOverLine run;
    QProcess simulator;
    simulator.start(SCANNER_SIM_PATH, {"--pass", "59.3", "--count", "1", "--delay", "0.2"});
    [&] {
        QVERIFY(simulator.waitForReadyRead(5000));
        const QByteArray path = simulator.readLine().trimmed();
        const int line = ::open(path.constData(), O_RDWR | O_NOCTTY);
        QVERIFY2(line >= 0, path.constData());
        termios settings;
        tcgetattr(line, &settings);
        cfmakeraw(&settings);
        tcsetattr(line, TCSANOW, &settings);
        const std::string on = bytesFromHex("02535449450308");
        const bool sent = ::write(line, on.data(), on.size()) == ssize_t(on.size());

        timespec start;
        clock_gettime(CLOCK_MONOTONIC, &start);
        while (run.received.size() < 28 && secondsSince(start) < 5.0) {
            pollfd readable {line, POLLIN, 0};
            char buffer[64];
            const ssize_t count = poll(&readable, 1, 100) > 0 ? ::read(line, buffer, 64) : 0;
            run.received.append(buffer, std::max<ssize_t>(count, 0));
            run.arrivals.insert(run.arrivals.end(), std::max<ssize_t>(count, 0),
                                secondsSince(start));
        }
        ::close(line);
        QVERIFY(sent);
        QCOMPARE(run.received.size(), 28);
        QVERIFY(simulator.waitForFinished(5000));
        run.exitCode = simulator.exitStatus() == QProcess::NormalExit ? simulator.exitCode() : -1;
        run.log = simulator.readAllStandardOutput().split('\n');
    }();
    return run;
}

} // namespace

class TestScannerSim : public QObject
{
    Q_OBJECT

private slots:
    void decoderNamesWhatPelmarSends_data();
    void decoderNamesWhatPelmarSends();
    void unfinishedFrameIsFlushedAsHex();
    void passReadsComeOutAtTheMeasuredSpeed_data();
    void passReadsComeOutAtTheMeasuredSpeed();
    void repeatedReadsFollowEveryAndCount();
    void modelsPassInTurnEachAtItsOwnSpeed_data();
    void modelsPassInTurnEachAtItsOwnSpeed();
    void badOptionsNameTheOption_data();
    void badOptionsNameTheOption();
    void goodOptionsAreTaken();
    void passArrivesPacedOverThePseudoTerminal();
};

void TestScannerSim::decoderNamesWhatPelmarSends_data()
{
    QTest::addColumn<QByteArray>("hex");
    QTest::addColumn<int>("splitAt"); // second chunk starts here; -1 for one chunk
    QTest::addColumn<QStringList>("items");

    const QByteArray host = "0253544948313630350307";
    const QStringList hostItem {R"(STX "STIH1605" ETX 07)"};
    const QString on = R"(STX "STIE" ETX 08)";
    QTest::newRow("On") << QByteArray("02535449450308") << -1 << QStringList {on};
    QTest::newRow("Off") << QByteArray("1b") << -1 << QStringList {"ESC"};
    QTest::newRow("Host") << host << -1 << hostItem;
    QTest::newRow("Constant") << QByteArray("0253544948313630340306") << -1
                              << QStringList {R"(STX "STIH1604" ETX 06)"};
    QTest::newRow("Default flagged, not refused")
        << QByteArray("02535449473e333133303c3030303430303030303030"
                      "30303430363031303230373030303030303031303130"
                      "3a303130313030303e3030303c30303830303d303a030f")
        << -1
        << QStringList {R"(STX "STIG>3130<000400000000040601020700000001010:0101000>000<)"
                        R"(00800=0:" ETX 0F (check byte should be 0C))"};
    QTest::newRow("frame split in its body") << host << 5 << hostItem;
    QTest::newRow("frame split before its check byte") << host << 10 << hostItem;
    QTest::newRow("ESC among other bytes is hex")
        << QByteArray("001bff") << -1 << QStringList {"hex 00 1B FF"};
    QTest::newRow("ESC and loose bytes around a frame")
        << QByteArray("1b02535449450308410a") << -1 << QStringList {"ESC", on, "hex 41 0A"};
    QTest::newRow("byte that no body holds breaks a frame")
        << QByteArray("025354ff02535449450308") << -1 << QStringList {"hex 02 53 54 FF", on};
}

void TestScannerSim::decoderNamesWhatPelmarSends()
{
    QFETCH(QByteArray, hex);
    QFETCH(int, splitAt);
    QFETCH(QStringList, items);

    const std::string bytes = bytesFromHex(hex.constData());
    FrameDecoder decoder;
    QStringList got;
    if (splitAt < 0) {
        got = decoded(decoder.feed(bytes));
    } else {
        got = decoded(decoder.feed(std::string_view(bytes).substr(0, splitAt)));
        QVERIFY(decoder.hasPartialFrame());
        got += decoded(decoder.feed(std::string_view(bytes).substr(splitAt)));
    }
    QCOMPARE(got, items);
    QVERIFY(!decoder.hasPartialFrame());
}

void TestScannerSim::unfinishedFrameIsFlushedAsHex()
{
    FrameDecoder decoder;
    QVERIFY(decoder.feed(bytesFromHex("02535449")).empty());
    QCOMPARE(decoded(decoder.flush()), QStringList {"hex 02 53 54 49"});
    QVERIFY(!decoder.hasPartialFrame());
}

void TestScannerSim::passReadsComeOutAtTheMeasuredSpeed_data()
{
    QTest::addColumn<double>("mph");
    QTest::addColumn<double>("inches");
    QTest::addColumn<double>("seconds");

    QTest::newRow("59.3 mph over 12 inches") << 59.3 << 12.0 << 1.000306604;
    QTest::newRow("237.27 mph over 24 inches") << 237.272727272727 << 24.0 << 0.5;
    QTest::newRow("29.66 mph over 12 inches") << 29.6590909090909 << 12.0 << 2.0;
}

void TestScannerSim::passReadsComeOutAtTheMeasuredSpeed()
{
    QFETCH(double, mph);
    QFETCH(double, inches);
    QFETCH(double, seconds);

    const double gap = secondsBetweenReads(mph, inches);
    QVERIFY2(std::abs(gap - seconds) < 1e-8, qPrintable(QString::number(gap, 'f', 9)));
    // What Pelmar makes of that gap.
    QVERIFY(std::abs(inches / 12.0 / gap * 60 * 60 / 5280 * 87 - mph) < 1e-9);

    // Pelmar times a read by its last character, so barcodes of unequal length still give
    // exactly that gap between the ends of the two reads.
    Options options;
    options.passMph = mph;
    options.distanceInches = inches;
    options.barcodes = {"12345", "1234567890123"};
    const auto first = scheduledRead(options, 0);
    const auto second = scheduledRead(options, 1);
    QVERIFY(first && second && first->startsPass && !second->startsPass);
    const double firstEnd = first->startSeconds + readSeconds(options, first->barcode);
    const double secondEnd = second->startSeconds + readSeconds(options, second->barcode);
    QVERIFY(std::abs(secondEnd - firstEnd - seconds) < 1e-8);
    QVERIFY(!scheduledRead(options, 2)); // one pass without --every
}

void TestScannerSim::repeatedReadsFollowEveryAndCount()
{
    Options options;
    QVERIFY(!scheduledRead(options, 0)); // neither --pass nor --every: nothing is sent

    options.everySeconds = 2.5;
    options.count = 3;
    QStringList reads;
    for (long i = 0; const auto read = scheduledRead(options, i); ++i)
        reads << QString("%1 %2").arg(read->startSeconds).arg(read->barcode.c_str());
    QCOMPARE(reads, (QStringList {"0 012345678905", "2.5 036000291452", "5 012345678905"}));

    options.passMph = 59.3;
    options.count = 2;
    const auto secondPass = scheduledRead(options, 2);
    QVERIFY(secondPass && secondPass->startsPass);
    QCOMPARE(secondPass->startSeconds, 2.5);
    const double secondPassEnd = scheduledRead(options, 3)->startSeconds;
    QVERIFY(std::abs(secondPassEnd - 2.5 - secondsBetweenReads(59.3, 12)) < 1e-9);
    QVERIFY(!scheduledRead(options, 4));
}

void TestScannerSim::modelsPassInTurnEachAtItsOwnSpeed_data()
{
    QTest::addColumn<QStringList>("arguments");
    // Each pass in order: its barcodes, its full-size mph and spacing in inches, and its log line.
    QTest::addColumn<QStringList>("passes");

    const QStringList threeModels {"--model", "A,B,45",  "--model",    "C,D,60,18",  "--model",
                                   "E,F,30",  "--every", "4",          "--distance", "6",
                                   "--count", "7",       "--odd-pass", "2,0.8"};
    QTest::newRow("three models, the second of each slow")
        << threeModels
        << QStringList {"A B 45 6 pass of A,B at 45 mph: reads 0.659091 s apart",
                        "C D 60 18 pass of C,D at 60 mph: reads 1.482955 s apart",
                        "E F 30 6 pass of E,F at 30 mph: reads 0.988636 s apart",
                        "A B 36 6 pass of A,B at 36 mph (the odd pass, 0.8 of 45 mph): reads "
                        "0.823864 s apart",
                        "C D 48 18 pass of C,D at 48 mph (the odd pass, 0.8 of 60 mph): reads "
                        "1.853693 s apart",
                        "E F 24 6 pass of E,F at 24 mph (the odd pass, 0.8 of 30 mph): reads "
                        "1.235795 s apart",
                        "A B 45 6 pass of A,B at 45 mph: reads 0.659091 s apart"};
    QTest::newRow("one model by --pass, every third fast")
        << QStringList {"--pass", "59.3", "--every", "3", "--count", "4", "--odd-pass", "3,1.25"}
        << QStringList {"012345678905 036000291452 59.3 12 pass at 59.3 mph: reads 1.000307 s "
                        "apart",
                        "012345678905 036000291452 59.3 12 pass at 59.3 mph: reads 1.000307 s "
                        "apart",
                        "012345678905 036000291452 74.125 12 pass at 74.125 mph (the odd pass, "
                        "1.25 of 59.3 mph): reads 0.800245 s apart",
                        "012345678905 036000291452 59.3 12 pass at 59.3 mph: reads 1.000307 s "
                        "apart"};
}

// The gap between the ends of a pass's two reads is the one that its model's speed and spacing
// make, so that a summary can be held against the truth.
void TestScannerSim::modelsPassInTurnEachAtItsOwnSpeed()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, passes);

    std::vector<std::string> list;
    for (const QString &argument : arguments)
        list.push_back(argument.toStdString());
    const ParsedOptions parsed = parseOptions(list);
    QVERIFY2(parsed.error.empty(), parsed.error.c_str());
    const Options &options = parsed.options;
    QStringList played;
    long index = 0;
    for (; const auto first = scheduledRead(options, index); index += 2) {
        const auto second = scheduledRead(options, index + 1);
        QVERIFY(second && first->startsPass && !second->startsPass);
        const PlannedPass &pass = *first->pass;
        QCOMPARE(first->barcode, pass.firstBarcode);
        QCOMPARE(second->barcode, pass.secondBarcode);
        QCOMPARE(first->startSeconds, static_cast<double>(index / 2) * *options.everySeconds);
        const double firstEnd = first->startSeconds + readSeconds(options, first->barcode);
        const double secondEnd = second->startSeconds + readSeconds(options, second->barcode);
        const double measured
            = pass.distanceInches / 12.0 / (secondEnd - firstEnd) * 3600 / 5280 * 87;
        QVERIFY2(std::abs(measured - pass.mph) < 1e-9, qPrintable(QString::number(measured)));
        played << QString::fromStdString(pass.firstBarcode + " " + pass.secondBarcode + " ")
                + QString::number(pass.mph) + " " + QString::number(pass.distanceInches) + " "
                + QString::fromStdString(passLine(options, pass));
    }
    QCOMPARE(played, passes);
}

void TestScannerSim::badOptionsNameTheOption_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("option");

    QTest::newRow("unknown option, no value") << QStringList {"--speed"} << "--speed";
    QTest::newRow("missing value") << QStringList {"--pass"} << "--pass";
    QTest::newRow("speed not a number") << QStringList {"--pass", "fast"} << "--pass";
    QTest::newRow("speed zero") << QStringList {"--pass=0"} << "--pass";
    QTest::newRow("speed negative") << QStringList {"--pass", "-59.3"} << "--pass";
    QTest::newRow("reads would overlap") << QStringList {"--pass", "9000"} << "--pass";
    QTest::newRow("distance zero")
        << QStringList {"--pass", "59", "--distance", "0"} << "--distance";
    QTest::newRow("every shorter than a pass")
        << QStringList {"--pass", "59.3", "--every", "1"} << "--every";
    QTest::newRow("suffix of 3 digits") << QStringList {"--suffix", "0d0"} << "--suffix";
    QTest::newRow("suffix not hex") << QStringList {"--suffix", "0d0g"} << "--suffix";
    QTest::newRow("empty barcode") << QStringList {"--barcodes", "1,,2"} << "--barcodes";
    QTest::newRow("passes without every")
        << QStringList {"--pass", "59", "--count", "2"} << "--count";
    QTest::newRow("model without its speed") << QStringList {"--model", "A,B"} << "--model";
    QTest::newRow("model with an empty code") << QStringList {"--model", ",B,45"} << "--model";
    QTest::newRow("model at no speed") << QStringList {"--model", "A,B,0"} << "--model";
    QTest::newRow("model with no spacing") << QStringList {"--model", "A,B,45,0"} << "--model";
    QTest::newRow("model with a field more") << QStringList {"--model", "A,B,45,12,3"} << "--model";
    QTest::newRow("model with one code twice") << QStringList {"--model", "A,A,45"} << "--model";
    QTest::newRow("model and pass")
        << QStringList {"--model", "A,B,45", "--pass", "45"} << "--model";
    QTest::newRow("model and barcodes")
        << QStringList {"--barcodes", "A,B", "--model", "A,B,45"} << "--model";
    QTest::newRow("two models without every")
        << QStringList {"--model", "A,B,45", "--model", "C,D,60"} << "--model";
    QTest::newRow("a model's reads would overlap")
        << QStringList {"--model", "A,B,45", "--model", "C,D,9000", "--every", "9"} << "--model";
    QTest::newRow("odd pass too fast to fit")
        << QStringList {"--model", "A,B,1000", "--odd-pass", "2,8"} << "--model";
    QTest::newRow("slow odd pass longer than every")
        << QStringList {"--pass", "59.3", "--every", "1.1", "--odd-pass", "3,0.5"} << "--every";
    QTest::newRow("odd pass without passes") << QStringList {"--odd-pass", "3,0.8"} << "--odd-pass";
    QTest::newRow("odd pass in every one")
        << QStringList {"--pass", "59", "--odd-pass", "1,0.8"} << "--odd-pass";
    QTest::newRow("odd pass at the same speed")
        << QStringList {"--pass", "59", "--odd-pass", "3,1"} << "--odd-pass";
}

void TestScannerSim::badOptionsNameTheOption()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, option);

    std::vector<std::string> list;
    for (const QString &argument : arguments)
        list.push_back(argument.toStdString());
    const std::string error = parseOptions(list).error;
    QVERIFY2(QString::fromStdString(error).startsWith(option)
                 || QString::fromStdString(error).contains("'" + option + "'"),
             error.c_str());
}

void TestScannerSim::goodOptionsAreTaken()
{
    const ParsedOptions parsed
        = parseOptions({"--pass=59.3", "--delay", "0", "--suffix", "0A0d", "--barcodes", "AB,CDE"});
    QVERIFY2(parsed.error.empty(), parsed.error.c_str());
    QCOMPARE(parsed.options.passMph, std::optional(59.3));
    QCOMPARE(parsed.options.delaySeconds, 0.0);
    QCOMPARE(parsed.options.suffix, std::string("\n\r"));
    QCOMPARE(parsed.options.barcodes, (std::vector<std::string> {"AB", "CDE"}));
    QVERIFY(parseOptions({"--every", "2", "--help"}).showHelp);
    // Single reads, with no pass: nothing is planned for them.
    QVERIFY(parseOptions({}).error.empty());
    QVERIFY(parseOptions({"--every", "2"}).error.empty());
}

void TestScannerSim::passArrivesPacedOverThePseudoTerminal()
{
    // Timing is only as good as the machine's scheduling: a busy machine can hold a
    // character back some ms, so a timing miss is tried again; a miss every time is a fault.
    constexpr int Attempts = 5;
    for (int attempt = 1;; ++attempt) {
        const PassOverLine run = runPassOverLine();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(run.received, QByteArray("012345678905\r\n036000291452\r\n"));
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.log.contains(R"(< STX "STIE" ETX 08)"));
        const auto pass = run.log.indexOf("pass at 59.3 mph: reads 1.000307 s apart");
        QVERIFY(pass >= 0);
        QCOMPARE(run.log.indexOf("> 012345678905"), pass + 1);
        QVERIFY(run.log.indexOf("> 036000291452") > pass + 1);

        double worstPacing = 0; // how far a character strays from its place in its read
        for (int i = 0; i < 28; ++i) {
            const double sinceReadStart = run.arrivals[i] - run.arrivals[i < 14 ? 0 : 14];
            worstPacing
                = std::max(worstPacing, std::abs(sinceReadStart - i % 14 * CharacterSeconds));
        }
        const double gap = run.arrivals[27] - run.arrivals[13];
        if (worstPacing < 0.003 && std::abs(gap - secondsBetweenReads(59.3, 12)) < 0.003)
            return;
        const QString timing = QString("a character %1 s off its pace, reads %2 s apart")
                                   .arg(worstPacing, 0, 'f', 6)
                                   .arg(gap, 0, 'f', 6);
        if (attempt == Attempts)
            QFAIL(qPrintable(timing));
        qInfo("%s; trying again", qPrintable(timing));
    }
}

QTEST_GUILESS_MAIN(TestScannerSim)
#include "tst_scannersim.moc"
