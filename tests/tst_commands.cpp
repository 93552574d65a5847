// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "form1.h"
#include "startedwindow.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QByteArray>
#include <QLineEdit>
#include <QObject>
#include <QPushButton>
#include <QStringList>
#include <QTest>

#include <tuple>

using CommandButton = QPushButton *Form1::*;
Q_DECLARE_METATYPE(CommandButton)

namespace {

// STX, the ASCII body, ETX and the check byte.
QByteArray frame(const char *body, char check)
{
    return '\x02' + QByteArray {body} + '\x03' + check;
}

// Everything a command click must leave alone.
auto stateOf(const Form1 &form)
{
    const QAbstractItemModel *list = form.List1->model();
    return std::tuple(list->rowCount(), list->index(0, 0).data().toString(), form.Scan1, form.Scan2,
                      form.ScanFlag, form.ReadNumber, form.Text1->text(), form.Text2->text(),
                      form.Text3->text());
}

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void commandSendsExactlyItsBytesAtEveryClick_data();
    void commandSendsExactlyItsBytesAtEveryClick();
};

void TestCommands::commandSendsExactlyItsBytesAtEveryClick_data()
{
    QTest::addColumn<CommandButton>("button");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("On") << &Form1::On << frame("STIE", '\x08');
    QTest::newRow("Off") << &Form1::Off << QByteArray("\x1b");
    QTest::newRow("Host") << &Form1::Host << frame("STIH1605", '\x07');
    QTest::newRow("Constant") << &Form1::Constant << frame("STIH1604", '\x06');
    // Its check byte leaves ETX out (0x0C with it) and goes out as stored.
    QTest::newRow("Default")
        << &Form1::Default
        << frame("STIG>3130<000400000000040601020700000001010:0101000>000<00800=0:", '\x0f');
}

void TestCommands::commandSendsExactlyItsBytesAtEveryClick()
{
    QFETCH(CommandButton, button);
    QFETCH(QByteArray, bytes);
    StartedWindow window;
    // Something typed and something read, for the click to leave alone.
    window.form.Text1->setText(QStringLiteral("1b"));
    window.scanner.write("123456789012\r\n");
    QTRY_COMPARE(window.form.List1->model()->rowCount(), 1);
    const auto before = stateOf(window.form);

    (window.form.*button)->click();
    QCOMPARE(window.scanner.readSent(), bytes);
    (window.form.*button)->click();
    QCOMPARE(window.scanner.readSent(), bytes);

    QCOMPARE(window.messages, QStringList());
    QVERIFY(stateOf(window.form) == before);
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
