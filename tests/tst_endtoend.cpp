#include "commcontrol.h"
#include "form1.h"
#include "messagebox.h"

#include <QAbstractItemView>
#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionMatch>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstdint>
#include <memory>

namespace {

// Pelmar's window on the line of a running scanner simulator, with its message boxes captured.
struct PelmarOnSimulator
{
    QProcess simulator;
    std::unique_ptr<Form1> form;
    QStringList messages;
    QByteArray log;

    explicit PelmarOnSimulator(const QStringList &arguments)
    {
        simulator.start(QStringLiteral(SCANNER_SIM_PATH), arguments);
        if (!simulator.waitForReadyRead(5000))
            qFatal("the simulator did not start");
        setMessageHandler([this](const QString &text) { messages << text; });
        form = std::make_unique<Form1>();
        form->Comm1.setDevicePath(QString::fromLocal8Bit(simulator.readLine().trimmed()));
        form->load();
    }
    ~PelmarOnSimulator()
    {
        form.reset(); // closing the line stops the simulator
        simulator.waitForFinished(3000);
        setMessageHandler({});
    }

    int lines() const { return form->List1->model()->rowCount(); }
    QString line(int row) const { return form->List1->model()->index(row, 0).data().toString(); }
    // The simulator's log lines about what it received, once there are expected of them.
    QStringList received(int expected)
    {
        QStringList lines;
        for (QDeadlineTimer deadline(5000); lines.size() < expected && !deadline.hasExpired();) {
            QTest::qWait(20);
            log += simulator.readAllStandardOutput();
            lines.clear();
            for (const QByteArray &line : log.split('\n'))
                if (line.startsWith("< "))
                    lines << QString::fromLatin1(line);
        }
        return lines;
    }
};

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void aModelPassingAt59MphIsListedAs59Mph();
    void everyFixedCommandReachesTheScannerAsItsFrame();
    void scannerPluggedInAgainIsOpenedAgainAndTheNumberingGoesOn();
};

// Each pass is timed by the real clock at both ends, so a loaded machine can spoil one pass; a
// fault in the speed path spoils them all.
void TestEndToEnd::aModelPassingAt59MphIsListedAs59Mph()
{
    PelmarOnSimulator pelmar({"--pass", "59.3", "--every", "3", "--count", "3", "--delay", "0.3"});
    QStringList speeds;
    for (int pass = 1; pass <= 3; ++pass) {
        QTRY_COMPARE_WITH_TIMEOUT(pelmar.lines(), 3 * pass - 1, 10000);
        QCOMPARE(pelmar.line(0), QStringLiteral("%1. 036000291452").arg(2 * pass));
        QCOMPARE(pelmar.line(1), QStringLiteral("%1. 012345678905").arg(2 * pass - 1));
        pelmar.form->Speed->click();
        speeds << pelmar.line(0);
        const QRegularExpressionMatch speed
            = QRegularExpression(QStringLiteral("^(-?\\d+) MPH$")).match(pelmar.line(0));
        QVERIFY2(speed.hasMatch(), qPrintable(pelmar.line(0)));
        if (std::abs(speed.captured(1).toInt() - 59) <= 1) {
            QVERIFY(pelmar.messages.last().startsWith(QStringLiteral("Real speed = 0.6")));
            return;
        }
    }
    QFAIL(qPrintable(QStringLiteral("no pass near 59 MPH: ") + speeds.join(u", ")));
}

void TestEndToEnd::everyFixedCommandReachesTheScannerAsItsFrame()
{
    PelmarOnSimulator pelmar({});
    qsizetype sent = 0;
    for (QPushButton *button : {pelmar.form->On, pelmar.form->Off, pelmar.form->Host,
                                pelmar.form->Constant, pelmar.form->Default}) {
        button->click();
        ++sent;
        // Each logged before the next goes, so that no two share a chunk of the line.
        QCOMPARE(pelmar.received(sent).size(), sent);
    }
    const QStringList expected {
        QStringLiteral("< STX \"STIE\" ETX 08"),
        QStringLiteral("< ESC"),
        QStringLiteral("< STX \"STIH1605\" ETX 07"),
        QStringLiteral("< STX \"STIH1604\" ETX 06"),
        QStringLiteral("< STX \"STIG>3130<000400000000040601020700000001010:0101000>000<00800=0:\" "
                       "ETX 0F (check byte should be 0C)"),
    };
    QCOMPARE(pelmar.received(expected.size()), expected);
    QVERIFY(pelmar.messages.isEmpty());
}

// Each simulator sends two reads and ends, as a scanner unplugged; the next one comes back under
// the same name, a link, as a by-id link finds an adapter again under a new ttyUSB number.
void TestEndToEnd::scannerPluggedInAgainIsOpenedAgainAndTheNumberingGoesOn()
{
    QTemporaryDir folder;
    const QString link = folder.filePath(QStringLiteral("scanner"));
    QStringList messages;
    setMessageHandler([&messages](const QString &text) { messages << text; });
    Form1 form;
    QSignalSpy notices(&form.Comm1, &CommControl::notice);
    QVERIFY(notices.isValid());
    const auto line
        = [&form](int row) { return form.List1->model()->index(row, 0).data().toString(); };
    for (int plug = 1; plug <= 3; ++plug) {
        QProcess simulator;
        simulator.start(QStringLiteral(SCANNER_SIM_PATH),
                        {"--link", link, "--every", "0.2", "--count", "2", "--delay", "0.2"});
        QVERIFY(simulator.waitForReadyRead(5000));
        QElapsedTimer back;
        back.start();
        if (plug == 1) {
            form.Comm1.setDevicePath(link);
            form.load();
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(notices.size(), plug - 1, 3000);
            QVERIFY2(back.elapsed() < 1000, qPrintable(QString::number(back.elapsed())));
            QVERIFY2(notices.last().first().toString().contains(QStringLiteral("open again")),
                     qPrintable(notices.last().first().toString()));
        }
        QTRY_COMPARE_WITH_TIMEOUT(form.List1->model()->rowCount(), 2 * plug, 5000);
        QCOMPARE(line(0), QStringLiteral("%1. 036000291452").arg(2 * plug));
        QCOMPARE(line(1), QStringLiteral("%1. 012345678905").arg(2 * plug - 1));
        QVERIFY(simulator.waitForFinished(3000));
        QTRY_COMPARE(messages.size(), plug);
        QVERIFY2(messages.last().contains(QStringLiteral("opens the port again by itself")),
                 qPrintable(messages.last()));
    }
    QCOMPARE(form.ScanFlag, std::int16_t {1});
    QCOMPARE(notices.size(), 2);
    setMessageHandler({});
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
