// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "form1.h"
#include "hexsender.h"
#include "startedwindow.h"

#include <QAbstractItemView>
#include <QByteArray>
#include <QLineEdit>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTest>

#include <utility>

namespace {

const QString NotHex = QStringLiteral("Not a Hex number! ");
const QString TwoDigits = QStringLiteral("You must have entered 2 digits!");

QByteArray typeAndSend(StartedWindow &window, const QString &text)
{
    window.form.Text1->setText(text);
    window.form.Send->click();
    return window.scanner.readSent();
}

// Pairs running through every byte value, upper and lower case alike.
void pairsOf(int count, QString &hex, QByteArray &bytes)
{
    for (int i = 0; i < count; ++i) {
        const int value = (i * 7) % 256;
        const QString pair = QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0'));
        hex += i % 2 ? pair.toUpper() : pair;
        bytes += static_cast<char>(value);
    }
}

} // namespace

class TestHexSender : public QObject
{
    Q_OBJECT

private slots:
    void pairBecomesItsDecimalValue_data();
    void pairBecomesItsDecimalValue();
    void hexTextBecomesBytes_data();
    void hexTextBecomesBytes();

    void sendTransmitsTheTypedText_data();
    void sendTransmitsTheTypedText();
    void longestEvenTextGoesOutWhole();
    void textBeyondTheLimitSendsNothing();
    void sendingTwiceSendsTwiceAndKeepsTheText();
    void failedSendLeavesNothingForTheNext();
    void failingTransmissionIsReportedAndTheWindowRunsOn();
};

void TestHexSender::pairBecomesItsDecimalValue_data()
{
    QTest::addColumn<QString>("pair");
    QTest::addColumn<QString>("decimal");
    QTest::addColumn<QStringList>("messages");
    const auto row
        = [](const char *name, const char *pair, const char *decimal, const QStringList &messages) {
              QTest::newRow(name) << QString::fromLatin1(pair) << QString::fromLatin1(decimal)
                                  << messages;
          };
    row("lower case", "1b", "27", {});
    row("highest", "FF", "255", {});
    row("zero", "00", "0", {});
    row("bad high digit counts as 0", "g1", "1", {NotHex + "g"});
    row("one character", "c", "", {TwoDigits});
}

void TestHexSender::pairBecomesItsDecimalValue()
{
    QFETCH(QString, pair);
    QFETCH(QString, decimal);
    QFETCH(QStringList, messages);
    const Result<HexPair> value = HexToDec(pair);
    QCOMPARE(value ? value->decimal : QString(), decimal);
    QCOMPARE(value ? value->messages : QStringList {value.error()}, messages);
}

void TestHexSender::hexTextBecomesBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("sent");

    QTest::newRow("1b") << "1b" << QByteArray("\x1b") << QStringList() << true;
    QTest::newRow("1B") << "1B" << QByteArray("\x1b") << QStringList() << true;
    QTest::newRow("On command") << "02535449450308" << QByteArray::fromHex("02535449450308")
                                << QStringList() << true;
    QTest::newRow("empty") << "" << QByteArray() << QStringList() << true;
    QTest::newRow("00") << "00" << QByteArray(1, '\0') << QStringList() << true;
    QTest::newRow("09") << "09" << QByteArray("\x09") << QStringList() << true;
    QTest::newRow("0a") << "0a" << QByteArray("\x0a") << QStringList() << true;
    QTest::newRow("ff") << "ff" << QByteArray("\xff") << QStringList() << true;
    QTest::newRow("FF") << "FF" << QByteArray("\xff") << QStringList() << true;
    QTest::newRow("1g") << "1g" << QByteArray("\x10") << QStringList {NotHex + "g"} << true;
    QTest::newRow("zz") << "zz" << QByteArray(1, '\0') << QStringList {NotHex + "z", NotHex + "z"}
                        << true;
    QTest::newRow("0x1b") << "0x1b" << QByteArray::fromHex("001b") << QStringList {NotHex + "x"}
                          << true;
    QTest::newRow("02 53") << "02 53" << QByteArray() << QStringList {NotHex + " ", TwoDigits}
                           << false;
    QTest::newRow("abc") << "abc" << QByteArray() << QStringList {TwoDigits} << false;
}

void TestHexSender::hexTextBecomesBytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, messages);
    QFETCH(bool, sent);
    const HexText hex = decodeHexText(text);
    QCOMPARE(hex.outgoing.toLatin1(), bytes);
    QCOMPARE(hex.send, sent);
    // A text cut short says so once more after the messages about its pairs.
    QCOMPARE(hex.messages.size(), messages.size() + (sent ? 0 : 1));
    QCOMPARE(hex.messages.first(messages.size()), messages);
    if (!sent)
        QVERIFY2(hex.messages.last().contains("Nothing was sent"), qPrintable(hex.messages.last()));
}

void TestHexSender::sendTransmitsTheTypedText_data()
{
    hexTextBecomesBytes_data();
}

void TestHexSender::sendTransmitsTheTypedText()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    StartedWindow window;
    QCOMPARE(typeAndSend(window, text), bytes);
    QCOMPARE(window.messages, decodeHexText(text).messages);
}

void TestHexSender::longestEvenTextGoesOutWhole()
{
    QString hex;
    QByteArray bytes;
    pairsOf(16383, hex, bytes);
    QCOMPARE(hex.size(), 32766);
    StartedWindow window;
    QCOMPARE(typeAndSend(window, hex), bytes);
    QCOMPARE(window.messages, QStringList());
}

void TestHexSender::textBeyondTheLimitSendsNothing()
{
    QString hex;
    QByteArray bytes;
    pairsOf(16384, hex, bytes);
    StartedWindow window;
    window.form.Text1->setText(hex);
    QCOMPARE(window.form.Text1->text().size(), 32768);
    window.form.Send->click();
    QCOMPARE(window.scanner.readSent(), QByteArray());
    // Only that the text is too long: nothing about its pairs.
    QCOMPARE(window.messages.size(), 1);
    QVERIFY2(window.messages.first().contains("32768"), qPrintable(window.messages.first()));
    QVERIFY2(window.messages.first().contains("Nothing was sent"),
             qPrintable(window.messages.first()));
}

void TestHexSender::sendingTwiceSendsTwiceAndKeepsTheText()
{
    StartedWindow window;
    QTest::keyClicks(window.form.Text1, QStringLiteral("1b"));
    window.form.Send->click();
    window.form.Send->click();
    QCOMPARE(window.scanner.readSent(), QByteArray("\x1b\x1b"));
    QCOMPARE(window.form.Text1->text(), QStringLiteral("1b"));
    QCOMPARE(window.messages, QStringList());
}

void TestHexSender::failedSendLeavesNothingForTheNext()
{
    StartedWindow window;
    QCOMPARE(typeAndSend(window, QStringLiteral("0253c")), QByteArray());
    QCOMPARE(typeAndSend(window, QStringLiteral("1b")), QByteArray("\x1b"));
}

void TestHexSender::failingTransmissionIsReportedAndTheWindowRunsOn()
{
    StartedWindow window;
    window.scanner.hangUp();
    window.form.Text1->setText(QStringLiteral("1b"));
    window.form.Send->click();
    QVERIFY(!window.messages.isEmpty());
    for (const QString &message : std::as_const(window.messages))
        QVERIFY2(message.contains(window.scanner.devicePath()), qPrintable(message));

    // The next click is told once more instead of ending the program.
    const qsizetype told = window.messages.size();
    window.form.Send->click();
    QCOMPARE(window.messages.size(), told + 1);
    QVERIFY2(window.messages.last().contains(window.scanner.devicePath()),
             qPrintable(window.messages.last()));
    QCOMPARE(window.form.List1->model()->rowCount(), 0);
    QCOMPARE(window.form.Text1->text(), QStringLiteral("1b"));
}

QTEST_MAIN(TestHexSender)
#include "tst_hexsender.moc"
