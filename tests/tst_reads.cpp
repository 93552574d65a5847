// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "csvrows.h"
#include "form1.h"
#include "logrows.h"
#include "messagebox.h"
#include "startedwindow.h"
#include "timeofday.h"

#include <QAbstractItemView>
#include <QAction>
#include <QByteArray>
#include <QByteArrayList>
#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTime>

#include <cmath>
#include <cstdint>

class TestReads : public QObject
{
    Q_OBJECT

private slots:
    void startsWithTheDefaultsAndThePortOpen();
    void charactersBeforeStartAreNeverListed();
    void aReadIsListedOnTopWithItsNumber();
    void readsAreNumberedNewestOnTopAndPairedAlternately();
    void readsThatCameTogetherAreListedWholeAndInOrder_data();
    void readsThatCameTogetherAreListedWholeAndInOrder();
    void lengthIsReadFromText2AtEveryRead_data();
    void lengthIsReadFromText2AtEveryRead();
    void setAppliesTheBarcodeLength();
    void setRefusesALengthOutsideTheThresholdRange_data();
    void setRefusesALengthOutsideTheThresholdRange();
    void clearShowsWhatWasInTheBuffer();
    void clrlistRestartsNumberingAndPairing();
    void speedIsListedAboveAReadThatCameWhileItsBoxWasOpen();
    void unpluggedScannerKeepsTheListAndSaysItIsGone();
    void closingTheWindowClosesThePort();
    void copyTakesTheSelectedLineAndCopyAllEveryLine();
    void timeOfDayIsSecondsSinceLocalMidnight();
};

void TestReads::startsWithTheDefaultsAndThePortOpen()
{
    StartedWindow pelmar;
    Form1 &form = pelmar.form;
    QCOMPARE(form.Text1->text(), QString());
    QCOMPARE(form.Text2->text(), QStringLiteral("12"));
    QCOMPARE(form.Text3->text(), QStringLiteral("12"));
    QCOMPARE(form.Label1->text(),
             QStringLiteral("Type what you want to send to the scanner and then press Vemto."));
    QCOMPARE(form.Label2->text(), QStringLiteral("Length of barcode"));
    QCOMPARE(form.Label3->text(), QStringLiteral("Distance between barcodes in inches"));
    QCOMPARE(form.Label4->text(), QStringLiteral("List of barcodes read"));
    QCOMPARE(pelmar.lines(), 0);
    QCOMPARE(form.ScanFlag, std::int16_t {1});
    QCOMPARE(form.ReadNumber, QStringLiteral("1"));
    QCOMPARE(form.Scan1, 0.0f);
    QCOMPARE(form.Scan2, 0.0f);
    QVERIFY(form.Comm1.PortOpen());
    QCOMPARE(form.Comm1.Settings(), QStringLiteral("9600,E,7,2"));
    QCOMPARE(form.Comm1.RThreshold(), std::int16_t {14});
    QVERIFY(pelmar.messages.isEmpty());
}

void TestReads::charactersBeforeStartAreNeverListed()
{
    StartedWindow pelmar("99999999999999999999");
    // Time for a line to come, which it must not.
    QTest::qWait(100);
    QCOMPARE(pelmar.lines(), 0);
    pelmar.read("012345678905", 1);
    QCOMPARE(pelmar.line(0), QStringLiteral("1. 012345678905"));
}

void TestReads::aReadIsListedOnTopWithItsNumber()
{
    StartedWindow pelmar;
    pelmar.read("012345678905", 36000.5f);
    QCOMPARE(pelmar.line(0), QStringLiteral("1. 012345678905"));
    QCOMPARE(pelmar.form.ReadNumber, QStringLiteral("2"));
    QCOMPARE(pelmar.form.ScanFlag, std::int16_t {0});
    QCOMPARE(pelmar.form.Scan1, 36000.5f);
}

void TestReads::readsAreNumberedNewestOnTopAndPairedAlternately()
{
    StartedWindow pelmar;
    Form1 &form = pelmar.form;
    pelmar.read("000000000001", 10);
    pelmar.read("000000000002", 11);
    QCOMPARE(form.ScanFlag, std::int16_t {1});
    QCOMPARE(form.Scan1, 10.0f);
    QCOMPARE(form.Scan2, 11.0f);
    pelmar.read("000000000003", 12);
    QCOMPARE(pelmar.lines(), 3);
    QCOMPARE(pelmar.line(0), QStringLiteral("3. 000000000003"));
    QCOMPARE(pelmar.line(1), QStringLiteral("2. 000000000002"));
    QCOMPARE(pelmar.line(2), QStringLiteral("1. 000000000001"));
    QCOMPARE(form.ScanFlag, std::int16_t {0});
    QCOMPARE(form.Scan1, 12.0f);
    QCOMPARE(form.Scan2, 11.0f);
    QCOMPARE(form.ReadNumber, QStringLiteral("4"));
}

void TestReads::readsThatCameTogetherAreListedWholeAndInOrder_data()
{
    QTest::addColumn<QByteArrayList>("pieces"); // written one after the other
    QTest::addColumn<QStringList>("lines"); // oldest first
    const auto reads = [](int first, int count) {
        QByteArray burst;
        for (int number = first; number < first + count; ++number)
            burst += QByteArray::number(number).rightJustified(12, '0') + "\r\n";
        return burst;
    };
    const auto lines = [](int count) {
        QStringList lines;
        for (int number = 1; number <= count; ++number)
            lines << QStringLiteral("%1. %2").arg(number).arg(number, 12, 10, QLatin1Char('0'));
        return lines;
    };
    QTest::newRow("two reads waiting") << QByteArrayList {reads(1, 2)} << lines(2);
    // The first read is taken with the first character of the next; had it been taken whole,
    // every later read would be cut one character off.
    QTest::newRow("a read with the next one's start")
        << QByteArrayList {reads(1, 1) + reads(2, 1).first(1), reads(2, 1).sliced(1), reads(3, 2)}
        << lines(4);
    QByteArrayList pieces;
    const QByteArray burst = reads(1, 40);
    for (qsizetype at = 0; at < burst.size(); at += 9)
        pieces << burst.sliced(at, qMin<qsizetype>(9, burst.size() - at));
    QTest::newRow("a burst in pieces across reads") << pieces << lines(40);
    QTest::newRow("a burst in one piece") << QByteArrayList {reads(1, 60)} << lines(60);
    // Without a line end inside it, a read is taken whole, as the scanner program always did.
    // A line end left at the front (a length set shorter than the barcodes) is a read of its own.
    QTest::newRow("a line end first")
        << QByteArrayList {"\r\n" + reads(1, 1)} << QStringList {"1. \r\n", "2. 000000000001"};
    QTest::newRow("no line end to end at")
        << QByteArrayList {"000000000001\r0000"} << QStringList {"1. 000000000001"};
}

// Each read keeps its own number, and the log's received cells still hold every character sent.
void TestReads::readsThatCameTogetherAreListedWholeAndInOrder()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(QStringList, lines);
    QTemporaryDir folder;
    const QString log = folder.filePath(QStringLiteral("session.csv"));
    StartedWindow pelmar;
    QVERIFY(pelmar.form.openLog(log));
    for (const QByteArray &piece : pieces)
        pelmar.scanner.write(piece);
    QTRY_COMPARE(pelmar.lines(), lines.size());
    QTRY_VERIFY(pelmar.scanner.allRead());
    QTest::qWait(50);
    QCOMPARE(pelmar.linesOldestFirst(), lines);
    QCOMPARE(pelmar.form.Comm1.Input(), QString());

    pelmar.form.sessionLog().waitForWritten();
    if (!csvReaderPresent())
        QSKIP("Python's csv module, a reader of the log that is not Pelmar's, cannot be started "
              "here");
    const QList<QStringList> rows = csvRowsOf(log);
    const qsizetype kind = sessionLogColumns().indexOf(QStringLiteral("kind"));
    const qsizetype received = sessionLogColumns().indexOf(QStringLiteral("received"));
    QByteArray logged;
    for (const QStringList &row : rows) {
        if (row.at(kind) == QStringLiteral("read"))
            logged += unescaped(row.at(received));
    }
    QCOMPARE(logged, pieces.join());
}

void TestReads::lengthIsReadFromText2AtEveryRead_data()
{
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("line");
    QTest::newRow("longer than the read") << "20"
                                          << "1. 012345678905\r\n";
    QTest::newRow("tie rounds to even") << "12.5"
                                        << "1. 012345678905";
    QTest::newRow("shorter") << "4"
                             << "1. 0123";
    QTest::newRow("no number") << "abc"
                               << "1. ";
    QTest::newRow("negative") << "-5"
                              << "1. ";
    QTest::newRow("beyond 32 bits") << "1e300"
                                    << "1. 012345678905\r\n";
}

// Without Set the threshold stays 14, whatever Text2 now says.
void TestReads::lengthIsReadFromText2AtEveryRead()
{
    QFETCH(QString, length);
    QFETCH(QString, line);
    StartedWindow pelmar;
    pelmar.form.Text2->setText(length);
    pelmar.read("012345678905", 1);
    QCOMPARE(pelmar.line(0), line);
    QVERIFY(pelmar.messages.isEmpty());
}

void TestReads::setAppliesTheBarcodeLength()
{
    StartedWindow pelmar;
    Form1 &form = pelmar.form;
    form.Text2->setText(QStringLiteral("8"));
    pelmar.scanner.write("leftover");
    QTRY_VERIFY(pelmar.scanner.allRead());
    form.Set->click();
    QCOMPARE(form.Comm1.RThreshold(), std::int16_t {10});
    pelmar.read("01234567", 1);
    QCOMPARE(pelmar.line(0), QStringLiteral("1. 01234567"));

    form.Text2->setText(QStringLiteral("12.5"));
    form.Set->click();
    QCOMPARE(form.Comm1.RThreshold(), std::int16_t {14});
    QCOMPARE(form.ReadNumber, QStringLiteral("2"));
    QCOMPARE(form.ScanFlag, std::int16_t {0});
    QVERIFY(pelmar.messages.isEmpty());
}

void TestReads::setRefusesALengthOutsideTheThresholdRange_data()
{
    QTest::addColumn<QString>("length");
    QTest::newRow("length -1, threshold 1") << "-1";
    QTest::newRow("length -1.4 rounds to -1") << "-1.4";
    QTest::newRow("threshold 0") << "-2";
    QTest::newRow("negative threshold") << "-40";
    QTest::newRow("threshold above 32767") << "32766";
    QTest::newRow("length 32765.5 rounds to 32766") << "32765.5";
    QTest::newRow("beyond 16 bits") << "40000";
    QTest::newRow("beyond a double") << "1e400";
    QTest::newRow("minus beyond a double") << "-1e400";
}

void TestReads::setRefusesALengthOutsideTheThresholdRange()
{
    QFETCH(QString, length);
    StartedWindow pelmar;
    Form1 &form = pelmar.form;
    pelmar.scanner.write("waiting");
    QTRY_VERIFY(pelmar.scanner.allRead());
    form.Text2->setText(length);
    form.Set->click();
    QCOMPARE(pelmar.messages,
             QStringList {QStringLiteral("Length of barcode must be a number from 0 to 32765. The "
                                         "receive threshold stays at 14.")});
    QCOMPARE(form.Comm1.RThreshold(), std::int16_t {14});
    QCOMPARE(form.Comm1.Input(), QStringLiteral("waiting"));
}

void TestReads::clearShowsWhatWasInTheBuffer()
{
    StartedWindow pelmar;
    pelmar.form.Clear->click();
    pelmar.scanner.write("0123");
    QTRY_VERIFY(pelmar.scanner.allRead());
    pelmar.form.Clear->click();
    QCOMPARE(pelmar.messages,
             (QStringList {QStringLiteral(" has been cleared from the buffer"),
                           QStringLiteral("0123 has been cleared from the buffer")}));
    QCOMPARE(pelmar.form.Comm1.Input(), QString());
    QCOMPARE(pelmar.lines(), 0);
}

void TestReads::clrlistRestartsNumberingAndPairing()
{
    StartedWindow pelmar;
    Form1 &form = pelmar.form;
    for (int i = 1; i <= 5; ++i)
        pelmar.read("00000000000" + QByteArray::number(i), static_cast<float>(i));
    form.Clrlist->click();
    QCOMPARE(pelmar.lines(), 0);
    QCOMPARE(form.ReadNumber, QStringLiteral("1"));
    QCOMPARE(form.ScanFlag, std::int16_t {1});
    QCOMPARE(form.Scan1, 5.0f);
    QCOMPARE(form.Scan2, 4.0f);
    pelmar.read("000000000006", 6);
    QCOMPARE(pelmar.line(0), QStringLiteral("1. 000000000006"));
    QCOMPARE(form.Scan1, 6.0f);
}

void TestReads::speedIsListedAboveAReadThatCameWhileItsBoxWasOpen()
{
    StartedWindow pelmar;
    pelmar.read("000000000001", 100);
    pelmar.read("000000000002", 101);
    // While the speed is on screen, a third read arrives: it is listed at once, not merged with
    // a later one, and the speed line goes above it when the box is closed.
    setMessageHandler([&](const QString &text) {
        pelmar.messages << text;
        pelmar.read("000000000003", 102);
    });
    pelmar.form.Speed->click();
    QCOMPARE(pelmar.messages,
             QStringList {QStringLiteral("Real speed = 0.681818181818182mph That would be "
                                         "59.3181818181818mph in real life!")});
    QCOMPARE(pelmar.lines(), 4);
    QCOMPARE(pelmar.line(0), QStringLiteral("59 MPH"));
    QCOMPARE(pelmar.line(1), QStringLiteral("3. 000000000003"));
}

void TestReads::unpluggedScannerKeepsTheListAndSaysItIsGone()
{
    StartedWindow pelmar;
    Form1 &form = pelmar.form;
    pelmar.read("000000000001", 1);
    pelmar.read("000000000002", 2);
    pelmar.scanner.hangUp();
    QTRY_COMPARE(pelmar.messages.size(), 1);
    // Time for a second message about the same loss to come, which it must not.
    QTest::qWait(100);
    QCOMPARE(pelmar.messages.size(), 1);
    QVERIFY(pelmar.messages.first().contains(QStringLiteral("gone away")));

    form.Set->click();
    form.Clear->click();
    form.On->click();
    QCOMPARE(pelmar.messages.size(), 4);
    for (const QString &message : pelmar.messages.sliced(1))
        QVERIFY2(message.contains(QStringLiteral("is gone")), qPrintable(message));
    form.Speed->click();
    QCOMPARE(pelmar.lines(), 3);
    QCOMPARE(pelmar.line(0), QStringLiteral("59 MPH"));
    QCOMPARE(pelmar.line(2), QStringLiteral("1. 000000000001"));
}

void TestReads::closingTheWindowClosesThePort()
{
    StartedWindow pelmar;
    pelmar.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pelmar.form));
    pelmar.form.close();
    QVERIFY(!pelmar.form.Comm1.PortOpen());
    QVERIFY(pelmar.messages.isEmpty());
}

void TestReads::copyTakesTheSelectedLineAndCopyAllEveryLine()
{
    StartedWindow pelmar;
    QAbstractItemView *list = pelmar.form.List1;
    pelmar.read("012345678905", 1);
    pelmar.read("036000291452", 2);
    pelmar.form.Speed->click();
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("before"));
    pelmar.form.show();
    QVERIFY(QTest::qWaitForWindowActive(&pelmar.form));
    list->setFocus();

    // Nothing selected: Ctrl+C leaves the clipboard alone.
    QTest::keySequence(list, QKeySequence::Copy);
    QCOMPARE(clipboard->text(), QStringLiteral("before"));
    list->selectionModel()->select(list->model()->index(1, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QTest::keySequence(list, QKeySequence::Copy);
    QCOMPARE(clipboard->text(), QStringLiteral("2. 036000291452"));

    QStringList menu;
    for (const QAction *action : list->actions())
        menu << action->text();
    QCOMPARE(menu, (QStringList {"Copy", "Copy All"}));
    QCOMPARE(list->contextMenuPolicy(), Qt::ActionsContextMenu);
    list->actions().at(1)->trigger();
    QCOMPARE(clipboard->text(), QStringLiteral("59 MPH\n2. 036000291452\n1. 012345678905"));
}

void TestReads::timeOfDayIsSecondsSinceLocalMidnight()
{
    const double expected = QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
    const float now = timeOfDay();
    // One float step at the end of the day is 1/128 s; allow for a midnight in between.
    QVERIFY2(std::abs(now - expected) < 0.05 || std::abs(now - expected) > 86399,
             qPrintable(QStringLiteral("%1 against %2").arg(now).arg(expected)));
    setTimeOfDaySource([] { return 45000.25f; });
    QCOMPARE(timeOfDay(), 45000.25f);
    setTimeOfDaySource({});
}

QTEST_MAIN(TestReads)
#include "tst_reads.moc"
