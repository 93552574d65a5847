// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "commcontrol.h"
#include "linesettings.h"
#include "lowlatency.h"
#include "paritymarks.h"
#include "processortime.h"
#include "pseudoterminal.h"
#include "returnwatch.h"
#include "serialports.h"
#include "systemstandins.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

namespace {

// The processor time this program takes, in milliseconds, while its event loop waits for ms.
double processorTimeWhileWaiting(int ms)
{
    const double before = processorMilliseconds();
    QTest::qWait(ms);
    return processorMilliseconds() - before;
}

} // namespace

class TestSerial : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        setSerialPortSource({});
        useSysClassTty({});
    }

    void parityMarksBecomeQuestionMarks_data();
    void parityMarksBecomeQuestionMarks();
    void aMarkerSplitAcrossReadsDecodesWhole();

    void lineSettingsAreRead_data();
    void lineSettingsAreRead();
    void malformedLineSettingsAreRefused_data();
    void malformedLineSettingsAreRefused();

    void portOneIsTheFirstSerialPortOrTheNamedDevice();
    void openPortHasTheSettingsItWasGiven();
    void oneOnCommCarriesAThresholdOfCharacters();
    void noOnCommBelowTheThreshold();
    void inputWithNothingWaitingIsEmpty();
    void textAndBytesConvertThroughLatin1();
    void receiveBufferHoldsAtMost1024Characters();
    void missingDeviceFailsToOpen();
    void busyDeviceFailsToOpen();
    void modemLinesAreSeenAtTheScannersEnd_data();
    void modemLinesAreSeenAtTheScannersEnd();
    void unpluggedDeviceIsReportedOnceAndRefusesWork();
    void lossIsSeenWhateverErrorTheDriverGives_data();
    void lossIsSeenWhateverErrorTheDriverGives();
    void comNamesOpenInAnyCase_data();
    void comNamesOpenInAnyCase();
    void portOpensAgainWhenItsNameComesBack();
    void returnWatchOpensOnlyTheScannerAndTriesUntilItOpens();
    void slowAdapterIsToldOnce_data();
    void slowAdapterIsToldOnce();

private:
    struct OpenPort
    {
        PseudoTerminal line;
        CommControl port;
        QStringList inputs;

        explicit OpenPort(std::int16_t threshold)
        {
            port.setDevicePath(line.devicePath());
            port.setSettings(QStringLiteral("9600,E,7,2"));
            port.setPortOpen(true);
            port.setRThreshold(threshold);
            QObject::connect(&port, &CommControl::OnComm, &port,
                             [this] { inputs << port.Input(); });
        }
    };
};

void TestSerial::parityMarksBecomeQuestionMarks_data()
{
    QTest::addColumn<int>("marking");
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QByteArray>("marked"); // 1 under each character that is a parity mark
    using Marking = ParityMarkDecoder::Marking;
    const auto row = [](const char *name, Marking marking, QByteArrayView raw,
                        QByteArrayView received, const char *marked) {
        QTest::newRow(name) << int(marking) << raw.toByteArray() << received.toByteArray()
                            << QByteArray(marked);
    };
    using namespace Qt::Literals::StringLiterals;
    const Marking terminal = Marking::Terminal;
    row("plain", terminal, "0123\r\n"_ba, "0123\r\n"_ba, "000000");
    row("parity error", terminal, "01\377\000A3"_ba, "01?3"_ba, "0010");
    row("error on NUL or break", terminal, "\377\000\000"_ba, "?"_ba, "1");
    row("real 0xFF", terminal, "a\377\377b"_ba, "a\377b"_ba, "000");
    row("NUL kept", terminal, "a\000b"_ba, "a\000b"_ba, "000");
    row("lone mark kept", terminal, "\377A"_ba, "\377A"_ba, "00");
    // Windows' error character stands alone, and a real '?' stays a real one.
    row("error byte", Marking::ErrorByte, "0?\377\377\000"_ba, "0???\000"_ba, "00110");
    row("error byte, no terminal marks", Marking::ErrorByte, "\377\000A"_ba, "?\000A"_ba, "100");
    row("not told apart", Marking::None, "?\377\000A"_ba, "?\377\000A"_ba, "0000");
}

void TestSerial::parityMarksBecomeQuestionMarks()
{
    QFETCH(int, marking);
    QFETCH(QByteArray, raw);
    QFETCH(QByteArray, received);
    QFETCH(QByteArray, marked);
    QByteArray flags;
    ParityMarkDecoder decoder {ParityMarkDecoder::Marking(marking)};
    QCOMPARE(decoder.decode(raw, &flags), received);
    QCOMPARE(flags.replace('\0', '0').replace('\1', '1'), marked);
}

void TestSerial::aMarkerSplitAcrossReadsDecodesWhole()
{
    const QByteArray raw("12\xff\x00"
                         "X34\xff\xff"
                         "5",
                         10);
    for (qsizetype split = 0; split <= raw.size(); ++split) {
        ParityMarkDecoder decoder;
        QByteArray received = decoder.decode(raw.first(split));
        received += decoder.decode(raw.sliced(split));
        QCOMPARE(received,
                 QByteArray("12?34\xff"
                            "5"));
    }
}

void TestSerial::lineSettingsAreRead_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("baudRate");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");
    QTest::newRow("scanner line") << "9600,E,7,2" << 9600 << int(QSerialPort::EvenParity) << 7
                                  << int(QSerialPort::TwoStop);
    QTest::newRow("lower case") << "19200,n,8,1" << 19200 << int(QSerialPort::NoParity) << 8
                                << int(QSerialPort::OneStop);
    QTest::newRow("one and a half") << "1200,O,5,1.5" << 1200 << int(QSerialPort::OddParity) << 5
                                    << int(QSerialPort::OneAndHalfStop);
    QTest::newRow("mark") << "300,M,6,1" << 300 << int(QSerialPort::MarkParity) << 6
                          << int(QSerialPort::OneStop);
}

void TestSerial::lineSettingsAreRead()
{
    QFETCH(QString, text);
    QFETCH(int, baudRate);
    QFETCH(int, parity);
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);
    const LineSettings expected {baudRate, QSerialPort::Parity(parity),
                                 QSerialPort::DataBits(dataBits), QSerialPort::StopBits(stopBits)};
    QCOMPARE(parseLineSettings(text), expected);
}

void TestSerial::malformedLineSettingsAreRefused_data()
{
    QTest::addColumn<QString>("text");
    // The last, a Latin long s, is what Unicode case folding takes for an S.
    for (const char *text :
         {"", "9600", "9600,E,7", "9600,E,7,2,1", "9600,X,7,2", "9600,EE,7,2", "9600,E,9,2",
          "9600,E,4,2", "9600,E,07,2", "9600,E,7,3", " 9600,E,7,2", "9600,E,7,2 ", "0,E,7,2",
          "-9600,E,7,2", "+9600,E,7,2", "99999999999,E,7,2", "9600;E;7;2", "9600,\u017F,7,2"}) {
        QTest::newRow(text) << QString::fromUtf8(text);
    }
}

void TestSerial::malformedLineSettingsAreRefused()
{
    QFETCH(QString, text);
    QVERIFY(!parseLineSettings(text));
    CommControl port;
    try {
        port.setSettings(text);
        QFAIL("accepted");
    } catch (const RunTimeError &error) {
        QCOMPARE(error.number(), int(RunTimeError::InvalidPropertyValue));
    }
}

void TestSerial::portOneIsTheFirstSerialPortOrTheNamedDevice()
{
    if (!portsAreDeviceFiles())
        QSKIP("the system's ports are not device files in /dev");
    QCOMPARE(devicePathForPort(1), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(devicePathForPort(2), QStringLiteral("/dev/ttyS1"));
    CommControl port;
    QCOMPARE(port.devicePath(), QStringLiteral("/dev/ttyS0"));
    port.setDevicePath(QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0"));
    QCOMPARE(port.devicePath(), QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0"));
    // A bare name is taken in /dev, as Qt takes it; a relative path is not.
    port.setDevicePath(QStringLiteral("ttyUSB0"));
    QCOMPARE(port.devicePath(), QStringLiteral("/dev/ttyUSB0"));
    for (const QString &relative : {QStringLiteral("./scanner"), QStringLiteral("../scanner")}) {
        port.setDevicePath(relative);
        QCOMPARE(port.devicePath(), relative);
    }
}

void TestSerial::openPortHasTheSettingsItWasGiven()
{
    SerialDriver driver;
    OpenPort open(14);
    QVERIFY(open.port.PortOpen());
    QCOMPARE(open.port.devicePath(), open.line.devicePath());
    QCOMPARE(open.port.Settings(), QStringLiteral("9600,E,7,2"));
    QCOMPARE(open.port.appliedLineSettings(), *parseLineSettings(QStringLiteral("9600,E,7,2")));
    QVERIFY_THROWS_EXCEPTION(RunTimeError, open.port.setSettings(QStringLiteral("9600,N,8,1")));
    QVERIFY_THROWS_EXCEPTION(RunTimeError, open.port.setPortOpen(true));
    open.port.setPortOpen(false);
    QVERIFY(!open.port.PortOpen());
    // Every setting is given, not only those that differ from QSerialPort's own.
    open.port.setSettings(QStringLiteral("19200,O,8,1"));
    open.port.setPortOpen(true);
    QVERIFY(open.port.PortOpen());
    QCOMPARE(open.port.appliedLineSettings(), *parseLineSettings(QStringLiteral("19200,O,8,1")));
    if (!SerialDriver::present())
        QSKIP("the system has no driver setting for low latency that Pelmar asks for");
    // Every open asks the driver for low latency, and keeps what else it had.
    QCOMPARE(driver.set, QStringList(2, open.line.devicePath()));
    QCOMPARE(driver.flags, SerialDriver::OtherFlags | SerialDriver::LowLatency);
    QCOMPARE(driver.fifoSize, SerialDriver::FifoSize);
}

void TestSerial::slowAdapterIsToldOnce_data()
{
    QTest::addColumn<QByteArray>("latencyTimer");
    QTest::addColumn<bool>("told");
    QTest::newRow("FTDI default") << QByteArray("16\n") << true;
    QTest::newRow("just above the udev rule's") << QByteArray("2\n") << true;
    QTest::newRow("set by the udev rule") << QByteArray("1\n") << false;
    QTest::newRow("no latency timer") << QByteArray() << false;
}

// Opened by a link, as a by-id name is, with the tty's folder as sysfs has it, which tells the
// adapter's identity too.
void TestSerial::slowAdapterIsToldOnce()
{
    QFETCH(QByteArray, latencyTimer);
    QFETCH(bool, told);
    if (!portsAreDeviceFiles())
        QSKIP("the system keeps no folder of ttys where an adapter's latency timer is read");
    PseudoTerminal line;
    const QString tty = QFileInfo(line.devicePath()).fileName();
    QTemporaryDir root;
    // As sysfs has it: the tty's device is the adapter's port, two folders below the USB device
    // that tells its identity.
    const QString usbDevice = root.filePath(QStringLiteral("devices/1-1"));
    const QString folder = usbDevice + QStringLiteral("/1-1:1.0/") + tty;
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QDir().mkpath(root.filePath(tty)));
    QVERIFY(QFile::link(folder, root.filePath(tty + QStringLiteral("/device"))));
    for (const auto &[name, value] :
         {std::pair {"idVendor", "0403"}, {"idProduct", "6001"}, {"serial", "A1"}}) {
        QFile file(usbDevice + u'/' + QLatin1String(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(value) + '\n');
    }
    if (!latencyTimer.isEmpty()) {
        QFile timer(folder + QStringLiteral("/latency_timer"));
        QVERIFY(timer.open(QIODevice::WriteOnly));
        timer.write(latencyTimer);
    }
    useSysClassTty(root.path());
    const QString link = root.filePath(QStringLiteral("usb-FTDI_FT232R_A1-if00-port0"));
    QVERIFY(QFile::link(line.devicePath(), link));
    QCOMPARE(deviceIdentity(link), QStringLiteral("0403:6001 A1"));
    CommControl port;
    QSignalSpy notices(&port, &CommControl::notice);
    QVERIFY(notices.isValid());
    port.setDevicePath(link);
    for (int open = 0; open < 2; ++open) {
        port.setPortOpen(true);
        port.setPortOpen(false);
    }
    QCOMPARE(notices.size(), told ? 1 : 0);
    if (told) {
        const QString notice = notices.first().first().toString();
        QVERIFY2(notice.startsWith(QStringLiteral("the USB adapter of ") + link),
                 qPrintable(notice));
        QVERIFY2(notice.contains(QStringLiteral("up to %1 ms late").arg(latencyTimer.trimmed())),
                 qPrintable(notice));
        QVERIFY2(notice.contains(QStringLiteral("/sys/bus/usb-serial/devices/%1/").arg(tty)),
                 qPrintable(notice));
    }
}

void TestSerial::oneOnCommCarriesAThresholdOfCharacters()
{
    OpenPort open(14);
    open.line.write("012345678905\r\n");
    QTRY_COMPARE(open.inputs.size(), 1);
    QTest::qWait(50);
    QCOMPARE(open.inputs, QStringList {QStringLiteral("012345678905\r\n")});
}

void TestSerial::noOnCommBelowTheThreshold()
{
    OpenPort open(14);
    open.line.write("0123456789012");
    QTest::qWait(100);
    QVERIFY(open.inputs.isEmpty());
    open.line.write("3");
    QTRY_COMPARE(open.inputs, QStringList {QStringLiteral("01234567890123")});

    open.port.setRThreshold(0);
    open.line.write("0123456789012345");
    QTest::qWait(100);
    QCOMPARE(open.inputs.size(), 1);
    QCOMPARE(open.port.Input(), QStringLiteral("0123456789012345"));
}

void TestSerial::inputWithNothingWaitingIsEmpty()
{
    OpenPort open(14);
    QCOMPARE(open.port.Input(), QString());
}

void TestSerial::textAndBytesConvertThroughLatin1()
{
    OpenPort open(4);
    open.port.setOutput(QString(QChar(27)));
    QCOMPARE(open.line.readSent(), QByteArray("\x1b"));
    open.port.setOutput(QString(QChar(0)) + QChar(0xFF));
    QCOMPARE(open.line.readSent(), QByteArray("\x00\xff", 2));

    if (byteFFMarksParityErrors())
        QSKIP("a 0xFF received at 7 data bits is the system's mark of a parity error");
    // With parity marking on, the driver doubles a real 0xFF; it must still be one character.
    open.line.write(QByteArray("\xe9\xff\x00"
                               "A",
                               4));
    QTRY_COMPARE(open.inputs.size(), 1);
    QCOMPARE(open.inputs.first(), QString(QChar(0xE9)) + QChar(0xFF) + QChar(0) + u'A');
}

void TestSerial::receiveBufferHoldsAtMost1024Characters()
{
    // A threshold the buffer cannot reach: the full buffer notifies instead of stalling.
    OpenPort open(2000);
    open.line.write(QByteArray(2000, 'x'));
    QTRY_COMPARE(open.inputs.size(), 1);
    QCOMPARE(open.inputs.first().size(), CommControl::ReceiveBufferSize);
    QString rest;
    QTRY_COMPARE((rest += open.port.Input()).size(), 2000 - CommControl::ReceiveBufferSize);
}

void TestSerial::missingDeviceFailsToOpen()
{
    CommControl port;
    port.setDevicePath(QStringLiteral("/dev/pelmar-no-such-device"));
    try {
        port.setPortOpen(true);
        QFAIL("opened");
    } catch (const RunTimeError &error) {
        QCOMPARE(error.number(), int(RunTimeError::PortInvalid));
        QVERIFY(error.description().contains(QStringLiteral("/dev/pelmar-no-such-device")));
    }
    QVERIFY(!port.PortOpen());
}

void TestSerial::busyDeviceFailsToOpen()
{
    PseudoTerminal line;
    QSerialPort holder(line.devicePath());
    QVERIFY(holder.open(QIODevice::ReadWrite));
    if (QSerialPort second(line.devicePath()); second.open(QIODevice::ReadWrite))
        QSKIP("the system lets a second program open a port that one holds (as Wine does)");
    CommControl port;
    port.setDevicePath(line.devicePath());
    try {
        port.setPortOpen(true);
        QFAIL("opened");
    } catch (const RunTimeError &error) {
        QCOMPARE(error.number(), int(RunTimeError::PortAlreadyOpen));
        QVERIFY(error.description().contains(line.devicePath()));
        QVERIFY(error.description().contains(QStringLiteral("in use")));
    }
}

void TestSerial::modemLinesAreSeenAtTheScannersEnd_data()
{
    QTest::addColumn<bool>("dataTerminalReady");
    QTest::addColumn<bool>("requestToSend");
    QTest::newRow("both up") << true << true;
    QTest::newRow("DTR alone") << true << false;
    QTest::newRow("RTS alone") << false << true;
    QTest::newRow("both down") << false << false;
}

// What a scanner powered or handshaken by DTR or RTS sees, once the port has set them; and
// Pelmar's own open raises both, whatever the last program left them at.
void TestSerial::modemLinesAreSeenAtTheScannersEnd()
{
    QFETCH(bool, dataTerminalReady);
    QFETCH(bool, requestToSend);
    PseudoTerminal line;
    if (!line.modemLines())
        QSKIP("the line has no modem lines (a Linux pseudo-terminal)");
    QSerialPort port(line.devicePath());
    QVERIFY(port.open(QIODevice::ReadWrite));
    QVERIFY(port.setDataTerminalReady(dataTerminalReady));
    QVERIFY(port.setRequestToSend(requestToSend));
    const int expected = (dataTerminalReady ? PseudoTerminal::DataTerminalReady : 0)
        | (requestToSend ? PseudoTerminal::RequestToSend : 0);
    QCOMPARE(line.modemLines(), expected);
    port.close();
    line.hangUp();
    line.plugIn();
    QCOMPARE(line.modemLines(), 0); // a new line, whose lines no port has set
    CommControl pelmar;
    pelmar.setDevicePath(line.devicePath());
    pelmar.setSettings(QStringLiteral("9600,E,7,2"));
    pelmar.setPortOpen(true);
    QCOMPARE(line.modemLines(), PseudoTerminal::DataTerminalReady | PseudoTerminal::RequestToSend);
}

void TestSerial::unpluggedDeviceIsReportedOnceAndRefusesWork()
{
    OpenPort open(14);
    QSignalSpy lost(&open.port, &CommControl::deviceLost);
    QVERIFY(lost.isValid());
    open.line.write("012345678905\r\n");
    QTRY_COMPARE(open.inputs.size(), 1);
    open.line.hangUp();
    QTRY_COMPARE(lost.size(), 1);
    QTest::qWait(100);
    QCOMPARE(lost.size(), 1);
    QVERIFY(lost.first().first().toString().contains(open.line.devicePath()));
    QVERIFY(!open.port.PortOpen());
    try {
        open.port.Input();
        QFAIL("read from a lost device");
    } catch (const RunTimeError &error) {
        QCOMPARE(error.number(), int(RunTimeError::PortGone));
        QVERIFY(error.description().contains(QStringLiteral("gone")));
    }
    QVERIFY_THROWS_EXCEPTION(RunTimeError, open.port.setOutput(QStringLiteral("x")));
    // A pseudo-terminal's number goes to the next one opened: it is not waited for.
    if (ReturnWatch::waitsFor(open.line.devicePath()))
        QSKIP("the line's name is one that is waited for (a COM name)");
    QVERIFY2(lost.first().first().toString().contains(QStringLiteral("does not come back")),
             qPrintable(lost.first().first().toString()));
}

void TestSerial::lossIsSeenWhateverErrorTheDriverGives_data()
{
    QTest::addColumn<QSerialPort::SerialPortError>("error");
    QTest::addColumn<bool>("lost");
    // As Qt on Windows reports the failed wait of an adapter pulled out, by its driver's reason.
    QTest::newRow("resource error") << QSerialPort::ResourceError << true;
    QTest::newRow("access denied") << QSerialPort::PermissionError << true;
    QTest::newRow("file not found") << QSerialPort::DeviceNotFoundError << true;
    QTest::newRow("device not connected") << QSerialPort::UnknownError << true;
    QTest::newRow("read error") << QSerialPort::ReadError << true;
    // A wait for nothing and a setting refused leave the port reading.
    QTest::newRow("time-out") << QSerialPort::TimeoutError << false;
    QTest::newRow("setting refused") << QSerialPort::UnsupportedOperationError << false;
}

// Whatever Qt makes of the driver's error, reading has ended: the loss is told once, and the
// device, still there, is opened again within a second with reads numbered on.
void TestSerial::lossIsSeenWhateverErrorTheDriverGives()
{
    QFETCH(QSerialPort::SerialPortError, error);
    QFETCH(bool, lost);
    PseudoTerminal line(PseudoTerminal::Naming::Lasting);
    CommControl port;
    port.setDevicePath(line.name());
    port.setSettings(QStringLiteral("9600,E,7,2"));
    port.setPortOpen(true);
    port.setRThreshold(4);
    QStringList inputs;
    QObject::connect(&port, &CommControl::OnComm, &port, [&] { inputs << port.Input(); });
    QSignalSpy losses(&port, &CommControl::deviceLost);
    QVERIFY(losses.isValid());
    QSerialPort *const serial = port.findChild<QSerialPort *>();
    QVERIFY(serial);
    emit serial->errorOccurred(error);
    QCOMPARE(losses.size(), lost ? 1 : 0);
    QCOMPARE(port.PortOpen(), !lost);
    QTRY_VERIFY_WITH_TIMEOUT(port.PortOpen(), 1000);
    QCOMPARE(losses.size(), lost ? 1 : 0);
    line.write("abcd");
    QTRY_COMPARE(inputs, QStringList {QStringLiteral("abcd")});
}

void TestSerial::comNamesOpenInAnyCase_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("lower case") << QStringLiteral("com12");
    QTest::newRow("mixed case") << QStringLiteral("Com12");
    QTest::newRow("device namespace, lower case") << QStringLiteral("\\\\.\\com12");
}

// Qt opens a name as a COM port only when it begins with upper-case COM: com12 was a file.
void TestSerial::comNamesOpenInAnyCase()
{
    QFETCH(QString, typed);
    if (!devicePathForPort(1).startsWith(QStringLiteral("COM")))
        QSKIP("device names are paths here, whose case is their own");
    PseudoTerminal line(QStringLiteral("COM12"));
    CommControl port;
    port.setDevicePath(typed);
    port.setSettings(QStringLiteral("9600,E,7,2"));
    port.setPortOpen(true);
    QCOMPARE(port.devicePath(), QStringLiteral("COM12"));
    port.setRThreshold(4);
    QStringList inputs;
    QObject::connect(&port, &CommControl::OnComm, &port, [&] { inputs << port.Input(); });
    line.write("abcd");
    QTRY_COMPARE(inputs, QStringList {QStringLiteral("abcd")});
}

// Each line stands for the scanner plugged in under one name, as a by-id link does for an
// adapter; the list of ports tells which adapter each line is. Each time, another adapter takes
// the name first.
void TestSerial::portOpensAgainWhenItsNameComesBack()
{
    if (byteFFMarksParityErrors())
        QSKIP("a 0xFF received at 7 data bits is the system's mark of a parity error");
    PseudoTerminal line(PseudoTerminal::Naming::Lasting);
    const QString link = line.name();
    const QString scannerSerialNumber = QStringLiteral("A50285BI");
    QString serialNumber = scannerSerialNumber;
    setSerialPortSource([&] {
        return QList<SerialPortEntry> {
            {line.devicePath(), {}, {}, {}, serialNumber, QStringLiteral("0403:6001"), {}}};
    });
    SerialDriver driver;
    CommControl port;
    port.setDevicePath(link);
    port.setSettings(QStringLiteral("9600,E,7,2"));
    port.setPortOpen(true);
    port.setRThreshold(4);
    QStringList inputs;
    QObject::connect(&port, &CommControl::OnComm, &port, [&] { inputs << port.Input(); });
    QSignalSpy lost(&port, &CommControl::deviceLost);
    QSignalSpy notices(&port, &CommControl::notice);
    QVERIFY(lost.isValid());
    QVERIFY(notices.isValid());
    // The kernel doubles a real 0xFF only while parity errors are marked, and the decoder makes
    // one character of the two; with marking off, 0xFF 0x00 c would be taken for a bad byte.
    const QByteArray read("\xff\x00"
                          "cd",
                          4);
    for (int plug = 1; plug <= 3; ++plug) {
        line.write(read);
        QTRY_COMPARE(inputs.size(), plug);
        QCOMPARE(inputs.last(), QString::fromLatin1(read));
        if (plug == 3)
            break;
        line.write("ab"); // left in the buffer when the scanner goes
        QTest::qWait(20);
        // Looking for a hang-up costs next to nothing, and so does waiting for the scanner.
        if (plug == 1)
            QVERIFY(processorTimeWhileWaiting(500) < 100);
        line.hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(lost.size(), plug, 1000);
        QVERIFY_THROWS_EXCEPTION(RunTimeError, port.Input());
        if (plug == 1)
            QVERIFY(processorTimeWhileWaiting(500) < 100);

        serialNumber = QStringLiteral("FTXYZ123");
        line.plugIn();
        QTRY_COMPARE(notices.size(), 2 * plug - 1);
        QVERIFY2(notices.last().first().toString().contains(QStringLiteral("another device")),
                 qPrintable(notices.last().first().toString()));
        QVERIFY(!port.PortOpen());
        serialNumber = scannerSerialNumber;
        QTRY_VERIFY_WITH_TIMEOUT(port.PortOpen(), 1000);
        QCOMPARE(notices.size(), 2 * plug);
        QVERIFY2(notices.last().first().toString().contains(QStringLiteral("open again")),
                 qPrintable(notices.last().first().toString()));
        QCOMPARE(port.RThreshold(), std::int16_t(4));
        QCOMPARE(port.appliedLineSettings(), *parseLineSettings(QStringLiteral("9600,E,7,2")));
        QCOMPARE(port.Input(), QString());
        if (SerialDriver::present()) {
            QCOMPARE(driver.set.size(), plug + 1);
            QCOMPARE(driver.set.last(), line.devicePath());
        }
    }

    // Closed while the scanner is away, the port stays closed when it comes back.
    line.hangUp();
    QTRY_COMPARE(lost.size(), 3);
    port.setPortOpen(false);
    line.plugIn();
    QTest::qWait(400);
    QVERIFY(!port.PortOpen());
}

// A file stands for the device node, watched by a link as by a by-id name, and the list of ports
// tells which adapter it is, if it tells anything.
void TestSerial::returnWatchOpensOnlyTheScannerAndTriesUntilItOpens()
{
    if (!portsAreDeviceFiles())
        QSKIP("the system's ports are not device files that files and links can stand for");
    QTemporaryDir folder;
    const QString device = folder.filePath(QStringLiteral("ttyUSB0"));
    const QString link = folder.filePath(QStringLiteral("usb-FTDI_FT232R_A50285BI-if00-port0"));
    QVERIFY(QFile::link(device, link));
    const QString scanner = QStringLiteral("0403:6001 A50285BI");
    QString serialNumber = QStringLiteral("FTXYZ123");
    bool listed = false;
    setSerialPortSource([&] {
        SerialPortEntry adapter;
        adapter.devicePath = QFileInfo(device).canonicalFilePath();
        adapter.serialNumber = serialNumber;
        adapter.vendorProduct = QStringLiteral("0403:6001");
        return listed ? QList<SerialPortEntry> {adapter} : QList<SerialPortEntry> {};
    });
    int tries = 0;
    bool refused = false;
    const RunTimeError refusal(RunTimeError::PortNoPermission, QStringLiteral("no permission"));
    ReturnWatch watch([&] {
        ++tries;
        return refused ? OpenResult::failure(refusal) : OpenResult();
    });
    QSignalSpy notices(&watch, &ReturnWatch::notice);
    QVERIFY(notices.isValid());
    const auto lastNotice = [&notices] { return notices.last().first().toString(); };

    // A device under the scanner's name that tells nothing of itself is left alone too.
    watch.start(link, scanner);
    QTest::qWait(400);
    QVERIFY(QFile(device).open(QIODevice::WriteOnly));
    QTest::qWait(400);
    QCOMPARE(tries, 0);
    QCOMPARE(deviceIdentity(link), std::nullopt);
    // Another adapter under the scanner's name is left alone, and said so once.
    listed = true;
    QCOMPARE(deviceIdentity(link), QStringLiteral("0403:6001 FTXYZ123"));
    QTRY_COMPARE(notices.size(), 1);
    QVERIFY2(lastNotice().startsWith(link
                                     + QStringLiteral(" is now another device (0403:6001 "
                                                      "FTXYZ123, not the scanner's "))
                 && lastNotice().contains(scanner),
             qPrintable(lastNotice()));
    QTest::qWait(400);
    QCOMPARE(notices.size(), 1);
    QCOMPARE(tries, 0);
    // Opened within a second of its return.
    serialNumber = QStringLiteral("A50285BI");
    QTRY_COMPARE_WITH_TIMEOUT(notices.size(), 2, 1000);
    QVERIFY2(lastNotice().contains(QStringLiteral("open again")), qPrintable(lastNotice()));
    QCOMPARE(tries, 1);

    // The scanner back but refused is tried until it opens, and said so once if that lasts.
    refused = true;
    QElapsedTimer refusedFor;
    refusedFor.start();
    watch.start(link, scanner);
    QTRY_COMPARE_WITH_TIMEOUT(notices.size(), 3, 4000);
    QVERIFY(refusedFor.elapsed() >= 2000);
    QVERIFY2(lastNotice().contains(QStringLiteral("cannot be opened yet"))
                 && lastNotice().contains(QStringLiteral("no permission")),
             qPrintable(lastNotice()));
    const int triedBefore = tries;
    QTRY_VERIFY(tries > triedBefore);
    refused = false;
    QTRY_COMPARE(notices.size(), 4);
    const int triedUntilOpen = tries;
    QTest::qWait(400);
    QCOMPARE(tries, triedUntilOpen);

    // A scanner that told nothing of itself, such as the simulator's link, is known by its name
    // alone, and not tried before the name is back. Refused a moment, as by udev setting the
    // node's group, it is not told of that: each return gets its own two seconds.
    listed = false;
    refused = true;
    QVERIFY(QFile::remove(device));
    watch.start(link, std::nullopt);
    QTest::qWait(400);
    QCOMPARE(tries, triedUntilOpen);
    QVERIFY(QFile(device).open(QIODevice::WriteOnly));
    QTRY_VERIFY(tries > triedUntilOpen);
    refused = false;
    QTRY_COMPARE(notices.size(), 5);
    QVERIFY2(lastNotice().contains(QStringLiteral("open again")), qPrintable(lastNotice()));
    const int triedAll = tries;

    // A pseudo-terminal's number goes to the next program: it is not waited for.
    QVERIFY(ReturnWatch::waitsFor(QStringLiteral("/dev/ttyUSB0")));
    QVERIFY(
        ReturnWatch::waitsFor(QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0")));
    QVERIFY(!ReturnWatch::waitsFor(QStringLiteral("/dev/pts/3")));
    PseudoTerminal line;
    watch.start(line.devicePath(), std::nullopt);
    QTest::qWait(400);
    QCOMPARE(tries, triedAll);
}

QTEST_GUILESS_MAIN(TestSerial)
#include "tst_serial.moc"
