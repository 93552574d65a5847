// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "commandline.h"
#include "form1.h"
#include "messagebox.h"
#include "portchoice.h"
#include "portchooser.h"
#include "pseudoterminal.h"
#include "serialports.h"
#include "startup.h"
#include "systemstandins.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>
#include <utility>

#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

const SerialPortEntry Uart {"/dev/ttyS0", {}, {}, {}, {}, {}, {}};
const SerialPortEntry Ftdi {"/dev/ttyUSB0",
                            "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                            "FT232R USB UART",
                            "FTDI",
                            "A50285BI",
                            "0403:6001",
                            "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0"};
const SerialPortEntry Acm {"/dev/ttyACM0", {}, "Arduino Uno", {}, {}, "2341:0043", {}};
// Two of these side by side would share their by-id link: it has no serial number.
const SerialPortEntry Ch340 {"/dev/ttyUSB1",
                             "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0",
                             "USB Serial",
                             "1a86",
                             {},
                             "1a86:7523",
                             "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0"};

QPushButton *dialogButton(PortChooser &chooser, const QString &text)
{
    for (QPushButton *button : chooser.findChildren<QPushButton *>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

// What run writes to a standard stream, given by its descriptor, meanwhile.
QString printedOn(int descriptor, const std::function<void()> &run)
{
    QTemporaryFile file;
    if (!file.open())
        qFatal("no temporary file");
    std::fflush(nullptr);
    const int saved = dup(descriptor);
    dup2(file.handle(), descriptor);
    run();
    std::fflush(nullptr);
    dup2(saved, descriptor);
    close(saved);
    file.seek(0);
    return QString::fromUtf8(file.readAll());
}

QStringList rows(PortChooser &chooser)
{
    QStringList texts;
    auto *list = chooser.findChild<QListWidget *>();
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    // The whole program keeps its remembered port in a folder of its own, never the user's.
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_configuration.path());
    }
    void cleanup()
    {
        setSerialPortSource({});
        useDevSerial({});
        useSysClassTty({});
        setMessageHandler({});
        qunsetenv("PELMAR_PORT");
    }

    void portIsChosenInItsOrder_data();
    void portIsChosenInItsOrder();
    void portOpensOrTheUserChoosesAnother_data();
    void portOpensOrTheUserChoosesAnother();
    void commandLineIsReadOrRefused_data();
    void commandLineIsReadOrRefused();
    void sessionStartsAsTheCommandLineAndTheChooserSay_data();
    void sessionStartsAsTheCommandLineAndTheChooserSay();
    void portListingHasOneLineAPort();
    void portCheckTellsEachStep();
    void windowHoldsNoConsole();
    void chooserOpensTheChosenPortByItsLastingName();
    void chooserShowsWhyAPortFailedAndFollowsPlugging();
    void rememberedPortIsKeptInTheConfigurationFolder();
    void rememberedAdapterIsFoundAgainByItsIdentity_data();
    void rememberedAdapterIsFoundAgainByItsIdentity();
    void screenReaderMeetsEachControlByTheTextShownForIt();

private:
    QTemporaryDir m_configuration;
};

void TestStartup::portIsChosenInItsOrder_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<QList<SerialPortEntry>>("found");
    QTest::addColumn<int>("source");
    QTest::addColumn<QString>("device");
    const QString by = Ftdi.byIdPath;
    const auto row = [](const char *name, const char *commandLine, const char *environment,
                        const QString &remembered, const QList<SerialPortEntry> &found,
                        PortChoice::Source source, const QString &device) {
        QTest::newRow(name) << QString(commandLine) << QString(environment) << remembered << found
                            << int(source) << device;
    };
    row("--port wins", "/dev/ttyUSB1", "/dev/ttyUSB2", by, {Uart}, PortChoice::Named,
        "/dev/ttyUSB1");
    row("then the environment", "", "/dev/ttyUSB2", by, {Uart}, PortChoice::Named, "/dev/ttyUSB2");
    row("then the remembered port", "", "", by, {Uart, Ftdi}, PortChoice::Remembered, by);
    row("remembered, even unplugged", "", "", by, {}, PortChoice::Remembered, by);
    row("port 1 alone", "", "", "", {Uart}, PortChoice::OnlyPort, "/dev/ttyS0");
    row("port 1 beside an adapter: ask", "", "", "", {Uart, Ftdi}, PortChoice::Ask, "");
    row("one adapter, never opened unasked", "", "", "", {Acm}, PortChoice::Ask, "");
    row("no port: ask", "", "", "", {}, PortChoice::Ask, "");
}

void TestStartup::portIsChosenInItsOrder()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, environment);
    QFETCH(QString, remembered);
    QFETCH(QList<SerialPortEntry>, found);
    QFETCH(int, source);
    QFETCH(QString, device);
    if (source == PortChoice::OnlyPort && devicePathForPort(1) != device)
        QSKIP("port 1 of the system is not the /dev/ttyS0 of the rows");
    const PortChoice expected {PortChoice::Source(source), device};
    QStringList lookedUp;
    const auto rememberedNow = [&] {
        lookedUp << QStringLiteral("remembered");
        return remembered;
    };
    const auto foundNow = [&] {
        lookedUp << QStringLiteral("found");
        return found;
    };
    QCOMPARE(choosePort(commandLine, environment, rememberedNow, foundNow), expected);
    // The remembered port is looked up only when nothing is named, the ports only when nothing
    // is remembered either, which keeps those starts quick.
    QStringList needed;
    if (source != PortChoice::Named)
        needed << QStringLiteral("remembered");
    if (source == PortChoice::OnlyPort || source == PortChoice::Ask)
        needed << QStringLiteral("found");
    QCOMPARE(lookedUp, needed);
}

void TestStartup::portOpensOrTheUserChoosesAnother_data()
{
    QTest::addColumn<int>("source");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QStringList>("refused"); // port=reason for each port that will not open
    QTest::addColumn<QStringList>("answers"); // the chooser's, in turn; "!" leaves remember off
    QTest::addColumn<QStringList>("asked"); // failed port|reason at each showing of the chooser
    QTest::addColumn<QStringList>("tried");
    QTest::addColumn<bool>("opened");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("remembered");
    const auto row
        = [](const char *name, PortChoice::Source source, const char *device,
             const QStringList &refused, const QStringList &answers, const QStringList &asked,
             const QStringList &tried, bool opened, const char *failure, const char *remembered) {
              QTest::newRow(name) << int(source) << QString(device) << refused << answers << asked
                                  << tried << opened << QString(failure) << QString(remembered);
          };
    const PortChoice::Source named = PortChoice::Named;
    const PortChoice::Source kept = PortChoice::Remembered;
    const PortChoice::Source ask = PortChoice::Ask;
    row("named opens", named, "/dev/ttyUSB1", {}, {}, {}, {"/dev/ttyUSB1"}, true, "", "old");
    row("named fails: no chooser", named, "/dev/ttyUSB1", {"/dev/ttyUSB1=busy"}, {"/dev/ttyS0"}, {},
        {"/dev/ttyUSB1"}, false, "busy", "old");
    row("remembered opens", kept, "old", {}, {}, {}, {"old"}, true, "", "old");
    row("remembered fails, another chosen", kept, "old", {"old=missing"}, {"/dev/ttyUSB0"},
        {"old|missing"}, {"old", "/dev/ttyUSB0"}, true, "", "/dev/ttyUSB0");
    row("port 1 opens, and is not remembered", PortChoice::OnlyPort, "/dev/ttyS0", {}, {}, {},
        {"/dev/ttyS0"}, true, "", "old");
    row("port 1 busy, then quit", PortChoice::OnlyPort, "/dev/ttyS0", {"/dev/ttyS0=busy"}, {},
        {"/dev/ttyS0|busy"}, {"/dev/ttyS0"}, false, "", "old");
    row("chosen, not to be remembered", ask, "", {}, {"/dev/ttyACM0!"}, {"|"}, {"/dev/ttyACM0"},
        true, "", "");
    row("chosen port fails: asked again", ask, "", {"/dev/ttyACM0=no permission"},
        {"/dev/ttyACM0", "/dev/ttyUSB0"}, {"|", "/dev/ttyACM0|no permission"},
        {"/dev/ttyACM0", "/dev/ttyUSB0"}, true, "", "/dev/ttyUSB0");
    row("chosen port fails, then quit", ask, "", {"/dev/ttyACM0=busy"}, {"/dev/ttyACM0"},
        {"|", "/dev/ttyACM0|busy"}, {"/dev/ttyACM0"}, false, "", "old");
    row("quit at once", ask, "", {}, {}, {"|"}, {}, false, "", "old");
}

void TestStartup::portOpensOrTheUserChoosesAnother()
{
    QFETCH(int, source);
    QFETCH(QString, device);
    QFETCH(QStringList, refused);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, asked);
    QFETCH(QStringList, tried);
    QFETCH(bool, opened);
    QFETCH(QString, failure);
    QFETCH(QString, remembered);
    rememberPort(QStringLiteral("old"));

    QStringList triedNow;
    const auto open = [&](const QString &port) {
        triedNow << port;
        for (const QString &refusal : std::as_const(refused)) {
            if (refusal.section(u'=', 0, 0) == port)
                return Result<>::failure(refusal.section(u'=', 1));
        }
        return Result<>();
    };
    QStringList askedNow;
    const auto ask = [&](const QString &failedPort, const QString &reason) {
        askedNow << failedPort + u'|' + reason;
        if (answers.isEmpty())
            return std::optional<ChooserAnswer>();
        const QString answer = answers.takeFirst();
        return std::optional(ChooserAnswer {QString(answer).remove(u'!'), !answer.endsWith(u'!')});
    };
    const Result<bool> opening = openScannerPort({PortChoice::Source(source), device}, open, ask);
    QCOMPARE(triedNow, tried);
    QCOMPARE(askedNow, asked);
    QCOMPARE(opening && *opening, opened);
    QCOMPARE(opening ? QString() : opening.error(), failure);
    QCOMPARE(rememberedPort(), remembered);
}

void TestStartup::commandLineIsReadOrRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("errorLine");
    const auto row = [](const char *name, const QStringList &arguments, int status, const char *out,
                        const char *errorLine) {
        QTest::newRow(name) << arguments << status << QString(out) << QString(errorLine);
    };
    row("version", {"--version"}, 0, "pelmar 1.0\n", "");
    row("help", {"--help"}, 0, "--list-ports", "");
    row("help with a port", {"--port", "/dev/ttyUSB0", "-h"}, 0, "--scale <ratio>", "");
    row("list of ports", {"--list-ports"}, 0, "", "");
    row("a valid scale", {"--scale", "22.5", "--version"}, 0, "pelmar 1.0\n", "");
    row("unknown option", {"--bogus"}, 2, "", "pelmar: Unknown option 'bogus'.");
    row("unknown option, not in ASCII", {"--läuft"}, 2, "", "pelmar: Unknown option 'läuft'.");
    row("missing value", {"--port"}, 2, "", "pelmar: Missing value after '--port'.");
    row("stray argument", {"/dev/ttyUSB0"}, 2, "", "pelmar: Unexpected argument '/dev/ttyUSB0'.");
    row("a window without a display", {"--port", "/dev/pelmar-none"}, 1, "",
        "pelmar: there is no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY "
        "is set). Start Pelmar in a desktop session; --help, --version, --list-ports, --check-port "
        "and --summary need none.");
    row("a summary's page without a summary", {"--report", "speeds.html"}, 2, "",
        "pelmar: --report goes with --summary.");
    row("a summary of a log that is not there", {"--summary", "/pelmar-none.csv"}, 1, "",
        "pelmar: /pelmar-none.csv: no such file");
    for (const char *scale : {"0", "-87", "abc", "inf", "nan", "22,5", ""}) {
        const QByteArray name = "scale '" + QByteArray(scale) + "'";
        row(name.constData(), {"--scale", scale, "--version"}, 2, "",
            qPrintable(QStringLiteral("pelmar: The scale '%1' is not a positive number (87 for "
                                      "HO).")
                           .arg(scale)));
    }
}

// Run as the program itself, with no display at all.
void TestStartup::commandLineIsReadOrRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, errorLine);
    if (errorLine.contains(QStringLiteral("no display")) && !displayIsNamedByTheEnvironment())
        QSKIP("the system's windows need no display named in the environment");
    QProcess pelmar;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "PELMAR_PORT"})
        environment.remove(QString::fromLatin1(name));
    pelmar.setProcessEnvironment(environment);
    pelmar.start(QStringLiteral(PELMAR_PATH), arguments);
    QVERIFY(pelmar.waitForFinished(10000));
    // Windows ends a printed line with CR LF.
    const QString printed
        = QString::fromUtf8(pelmar.readAllStandardOutput()).replace(u"\r\n"_s, u"\n"_s);
    const QString told
        = QString::fromUtf8(pelmar.readAllStandardError()).replace(u"\r\n"_s, u"\n"_s);
    QCOMPARE(pelmar.exitStatus(), QProcess::NormalExit);
    QCOMPARE(pelmar.exitCode(), status);
    if (status == 0) {
        QVERIFY2(out.endsWith(u'\n') ? printed == out : printed.contains(out), qPrintable(printed));
        QVERIFY(!printed.isEmpty());
        QCOMPARE(told, QString());
    } else {
        QCOMPARE(printed, QString());
        QCOMPARE(told.section(u'\n', 0, 0), errorLine);
        QCOMPARE(told.contains(QStringLiteral("Usage: ")), status == 2);
    }
}

// --list-ports, run here on ports of the test's own, in the order of their numbers.
void TestStartup::sessionStartsAsTheCommandLineAndTheChooserSay_data()
{
    // LINE is the scanner's pseudo-terminal, LOG a log file to be made, NOWHERE a device or a
    // folder that is not there, EXAMPLE the system's example of a port's name.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("environment"); // PELMAR_PORT
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<QStringList>("answers"); // the chooser's, in turn; "!" leaves remember off
    QTest::addColumn<int>("choosers");
    QTest::addColumn<QString>("opened"); // empty when the session does not start
    QTest::addColumn<QString>("listed"); // the speed of reads 1 s apart, once started
    QTest::addColumn<QString>("rememberedAfter");
    QTest::addColumn<QString>("told");
    const auto row
        = [](const char *name, const QStringList &arguments, const char *environment,
             const char *remembered, const QStringList &answers, int choosers, const char *opened,
             const char *listed, const char *rememberedAfter, const char *told) {
              QTest::newRow(name) << arguments << QString(environment) << QString(remembered)
                                  << answers << choosers << QString(opened) << QString(listed)
                                  << QString(rememberedAfter) << QString(told);
          };
    row("named, logged, at G scale", {"--port", "LINE", "--log", "LOG", "--scale", "22.5"}, "",
        "old", {}, 0, "LINE", "15 MPH", "old", "");
    row("PELMAR_PORT without --port", {}, "LINE", "old", {}, 0, "LINE", "59 MPH", "old", "");
    row("--port before PELMAR_PORT", {"--port", "LINE"}, "NOWHERE", "", {}, 0, "LINE", "59 MPH", "",
        "");
    row("a log that cannot be opened stops the start", {"--port", "LINE", "--log", "NOWHERE/log"},
        "", "old", {}, 0, "", "", "old",
        "The log file NOWHERE/log cannot be opened: No such file or directory");
    row("a named port that cannot be opened stops the start", {"--port", "NOWHERE", "--log", "LOG"},
        "", "old", {}, 0, "", "", "old",
        "Run-time error '8002': The serial port NOWHERE does not exist. Plug the scanner "
        "in, or name its device (for example pelmar --port EXAMPLE).");
    row("the remembered port gone, another chosen", {"--log", "LOG"}, "", "NOWHERE", {"LINE"}, 1,
        "LINE", "59 MPH", "LINE", "");
    row("chosen, not to be remembered", {}, "", "NOWHERE", {"LINE!"}, 1, "LINE", "59 MPH", "", "");
    row("chosen port fails, then quit", {"--log", "LOG"}, "", "", {"NOWHERE"}, 2, "", "", "", "");
}

// With a display (the offscreen one), so that the chooser can be answered; the scanner's adapter
// holds bytes for 16 ms, which is told on stderr once its port is open.
void TestStartup::sessionStartsAsTheCommandLineAndTheChooserSay()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, environment);
    QFETCH(QString, remembered);
    QFETCH(QStringList, answers);
    QFETCH(int, choosers);
    QFETCH(QString, opened);
    QFETCH(QString, listed);
    QFETCH(QString, rememberedAfter);
    QFETCH(QString, told);
    PseudoTerminal line;
    QTemporaryDir folder;
    const QString log = folder.filePath(QStringLiteral("session.csv"));
    const auto place = [&](QString text) {
        return text.replace(QStringLiteral("LINE"), line.devicePath())
            .replace(QStringLiteral("LOG"), log)
            .replace(QStringLiteral("NOWHERE"), folder.filePath(QStringLiteral("nowhere")))
            .replace(QStringLiteral("EXAMPLE"), examplePortName());
    };
    const QString tty = QFileInfo(line.devicePath()).fileName();
    QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("sys/") + tty + QStringLiteral("/device")));
    {
        QFile timer(folder.filePath(QStringLiteral("sys/%1/device/latency_timer").arg(tty)));
        QVERIFY(timer.open(QIODevice::WriteOnly) && timer.write("16\n") == 3);
    }
    useSysClassTty(folder.filePath(QStringLiteral("sys")));
    setSerialPortSource([] { return QList<SerialPortEntry> {}; });
    if (!environment.isEmpty())
        qputenv("PELMAR_PORT", place(environment).toLocal8Bit());
    rememberPort(place(remembered));
    QStringList messages;
    setMessageHandler([&messages](const QString &text) { messages << text; });

    int shown = 0;
    QTimer chooserHand;
    connect(&chooserHand, &QTimer::timeout, this, [&] {
        auto *chooser = qobject_cast<PortChooser *>(QApplication::activeModalWidget());
        if (!chooser || !chooser->isVisible())
            return;
        ++shown;
        if (answers.isEmpty()) {
            chooser->reject();
            return;
        }
        const QString answer = answers.takeFirst();
        chooser->findChild<QCheckBox *>()->setChecked(!answer.endsWith(u'!'));
        QTest::keyClicks(chooser->findChild<QLineEdit *>(), place(answer).remove(u'!'));
        dialogButton(*chooser, QStringLiteral("Open"))->click();
    });
    chooserHand.start(20);

    arguments.prepend(QStringLiteral("pelmar"));
    for (QString &argument : arguments)
        argument = place(argument);
    auto form = std::make_unique<Form1>();
    bool started = false;
    const QString stderrText
        = printedOn(STDERR_FILENO, [&] { started = startSession(*form, CommandLine(arguments)); });
    QCOMPARE(shown, choosers);
    QCOMPARE(started, !opened.isEmpty());
    QCOMPARE(rememberedPort(), place(rememberedAfter));
    if (started) {
        QCOMPARE(form->Comm1.devicePath(), place(opened));
        QVERIFY(form->Comm1.PortOpen());
        // Only Linux tells of an adapter's latency timer.
        QVERIFY2(!portsAreDeviceFiles()
                     || stderrText.contains(QStringLiteral("pelmar: the USB adapter of %1 holds "
                                                           "received bytes for up to 16 ms")
                                                .arg(line.devicePath())),
                 qPrintable(stderrText));
        QCOMPARE(messages, QStringList());
        form->Scan2 = 1;
        form->Speed->click();
        QCOMPARE(form->List1->model()->index(0, 0).data().toString(), listed);
    } else {
        QVERIFY(!form->Comm1.PortOpen());
        QCOMPARE(messages, told.isEmpty() ? QStringList() : QStringList {place(told)});
        QCOMPARE(stderrText.contains(QStringLiteral("pelmar: ") + place(told) + u'\n'),
                 !told.isEmpty());
    }
    form.reset();
    // The log stays only where something was logged in it, and has the scale that was used.
    if (arguments.contains(log)) {
        QFile written(log);
        QCOMPARE(written.open(QIODevice::ReadOnly), started);
        const QString scale = arguments.contains(QStringLiteral("--scale")) ? "22.5" : "87";
        QCOMPARE(written.readAll().contains(u",%1,%2,"_s.arg(scale, listed).toUtf8()), started);
    }
}

void TestStartup::portListingHasOneLineAPort()
{
    const SerialPortEntry uart9 {"/dev/ttyS9", {}, {}, {}, {}, {}, {}};
    const SerialPortEntry uart10 {"/dev/ttyS10", {}, {}, {}, {}, {}, {}};
    // A driver's words in the system's language reach a file whole, in UTF-8.
    const SerialPortEntry german {"/dev/ttyACM1", {}, "Serielles USB-Gerät", {}, {}, {}, {}};
    setSerialPortSource([&] { return QList<SerialPortEntry> {Ftdi, uart10, german, uart9}; });
    int status = -1;
    const QString printed = printedOn(STDOUT_FILENO, [&status] {
        status = CommandLine({"pelmar", "--list-ports"}).runWithoutWindow();
    });
    QCOMPARE(status, 0);
    QCOMPARE(printed,
             QStringLiteral("/dev/ttyACM1\t-\tSerielles USB-Gerät\t-\t-\t-\n"
                            "/dev/ttyS9\t-\t-\t-\t-\t-\n"
                            "/dev/ttyS10\t-\t-\t-\t-\t-\n"
                            "/dev/ttyUSB0\t%1\tFT232R USB UART\tFTDI\tA50285BI\t"
                            "0403:6001\n")
                 .arg(Ftdi.byIdPath));
    setSerialPortSource([] { return QList<SerialPortEntry> {}; });
    QVERIFY(
        portListing(availableSerialPorts()).startsWith(QStringLiteral("No serial port found.")));

    // Qt lists the devices and udev's links name them: an adapter with a serial number by its
    // own by-id link, two of a make without one by their sockets, as udev gives their shared by-id
    // name to whichever came last.
    if (!portsAreDeviceFiles())
        QSKIP("the system's ports are not device files named by udev's links");
    PseudoTerminal ftdi;
    PseudoTerminal ch340;
    PseudoTerminal secondCh340;
    QTemporaryDir devSerial;
    QVERIFY(QDir(devSerial.path()).mkpath(u"by-id"_s)
            && QDir(devSerial.path()).mkpath(u"by-path"_s));
    const QString ftdiById
        = devSerial.filePath(u"by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"_s);
    const QString ftdiByPath = devSerial.filePath(u"by-path/pci-0000:00:14.0-usb-0:1:1.0-port0"_s);
    const QString ch340ByPath = devSerial.filePath(u"by-path/pci-0000:00:14.0-usb-0:2:1.0-port0"_s);
    const QString sharedById = devSerial.filePath(u"by-id/usb-1a86_USB_Serial-if00-port0"_s);
    const QString secondByPath
        = devSerial.filePath(u"by-path/pci-0000:00:14.0-usb-0:3:1.0-port0"_s);
    const std::pair<const PseudoTerminal *, QString> links[] = {{&ftdi, ftdiById},
                                                                {&ftdi, ftdiByPath},
                                                                {&ch340, ch340ByPath},
                                                                {&secondCh340, sharedById},
                                                                {&secondCh340, secondByPath}};
    for (const auto &[line, link] : links)
        QVERIFY(QFile::link(line->devicePath(), link));
    useDevSerial(devSerial.path());
    setSerialPortSource([&] {
        return QList<SerialPortEntry> {
            {ftdi.devicePath(), {}, {}, {}, u"A50285BI"_s, u"0403:6001"_s, {}},
            {ch340.devicePath(), {}, {}, {}, {}, u"1a86:7523"_s, {}},
            {secondCh340.devicePath(), {}, {}, {}, {}, u"1a86:7523"_s, {}}};
    });
    QMap<QString, QStringList> named; // by-id, by-path and the name to open, by device
    for (const SerialPortEntry &port : availableSerialPorts())
        named[port.devicePath] = {port.byIdPath, port.byPathPath, port.name()};
    const QMap<QString, QStringList> expected {
        {ftdi.devicePath(), {ftdiById, ftdiByPath, ftdiById}},
        {ch340.devicePath(), {{}, ch340ByPath, ch340ByPath}},
        {secondCh340.devicePath(), {sharedById, secondByPath, secondByPath}}};
    QCOMPARE(named, expected);
}

// As a user runs it at an adapter: a barcode scanned, Enter, the adapter pulled out and put back.
void TestStartup::portCheckTellsEachStep()
{
    PseudoTerminal line(PseudoTerminal::Naming::Lasting);
    const QString name = line.name();
    QProcess pelmar;
    pelmar.start(QStringLiteral(PELMAR_PATH), {u"--check-port"_s, name});
    QString printed;
    const auto shows = [&](const QString &text) {
        pelmar.waitForReadyRead(50);
        printed += QString::fromUtf8(pelmar.readAllStandardOutput()).replace(u"\r\n"_s, u"\n"_s);
        return printed.contains(text);
    };
    QTRY_VERIFY2(shows(u"Receiving for 10 s"_s), qPrintable(printed));
    QVERIFY2(printed.contains(u"Opened:        %1 at 9600,E,7,2"_s.arg(name)), qPrintable(printed));
    line.write("012\r\n");
    QTRY_VERIFY2(shows(u" s  30 31 32 0D 0A\n"_s), qPrintable(printed));
    pelmar.write("\n");
    QTRY_VERIFY2(shows(u"Unplug the adapter now"_s), qPrintable(printed));
    QVERIFY2(printed.contains(u"Received:      5 bytes, 0 with a parity error"_s),
             qPrintable(printed));
    line.hangUp();
    QTRY_VERIFY2(shows(u"Plug it in again"_s), qPrintable(printed));
    QVERIFY2(printed.contains(u"  lost: "_s), qPrintable(printed));
    line.plugIn();
    QVERIFY(pelmar.waitForFinished(5000));
    printed += QString::fromUtf8(pelmar.readAllStandardOutput()).replace(u"\r\n"_s, u"\n"_s);
    QVERIFY2(printed.contains(u"%1 is back; opened again"_s.arg(name))
                 || printed.contains(u"%1 is open again"_s.arg(name)),
             qPrintable(printed));
    QVERIFY2(printed.endsWith(u"Every step worked.\n"_s), qPrintable(printed));
    QCOMPARE(pelmar.exitCode(), 0);

    // A port that cannot be opened fails the check, and says why.
    pelmar.start(QStringLiteral(PELMAR_PATH), {u"--check-port"_s, u"/dev/pelmar-none"_s});
    QVERIFY(pelmar.waitForFinished(10000));
    printed = QString::fromUtf8(pelmar.readAllStandardOutput()).replace(u"\r\n"_s, u"\n"_s);
    QVERIFY2(printed.contains(u"Failed: "_s) && printed.contains(u"/dev/pelmar-none"_s),
             qPrintable(printed));
    QVERIFY2(printed.endsWith(u"1 step(s) failed.\n"_s), qPrintable(printed));
    QCOMPARE(pelmar.exitCode(), 1);
}

// Started from a Command Prompt, the window does not join its console: closing the prompt, or
// Ctrl+C there, would end Pelmar.
void TestStartup::windowHoldsNoConsole()
{
    PseudoTerminal line;
    const auto open = [&] { return line.modemLines().value_or(0) != 0; };
    const std::optional<bool> joined
        = joinsTheConsoleOfItsPrompt(QStringLiteral(PELMAR_PATH), {u"--port"_s, line.name()}, open);
    if (!joined)
        QSKIP("programs here have no console to hold");
    QVERIFY(open());
    QVERIFY(!*joined);
}

void TestStartup::chooserOpensTheChosenPortByItsLastingName()
{
    setSerialPortSource([] { return QList<SerialPortEntry> {Uart, Ftdi, Ch340}; });
    {
        PortChooser chooser;
        chooser.show();
        QPushButton *open = dialogButton(chooser, QStringLiteral("Open"));
        QVERIFY(!open->isEnabled()); // nothing is opened that the user did not choose
        chooser.findChild<QListWidget *>()->item(1)->setSelected(true);
        QVERIFY(open->isEnabled());
        QVERIFY(chooser.remember());
        open->click();
        QCOMPARE(chooser.result(), int(QDialog::Accepted));
        QCOMPARE(chooser.port(), Ftdi.byIdPath);
        QVERIFY(chooser.remember());
        chooser.findChild<QListWidget *>()->item(2)->setSelected(true);
        QCOMPARE(chooser.port(), Ch340.byPathPath);
    }
    {
        // A device Qt does not list, such as the simulator's link, can be typed.
        PortChooser chooser;
        chooser.show();
        QTest::keyClicks(chooser.findChild<QLineEdit *>(), QStringLiteral("/tmp/scanner"));
        QVERIFY(dialogButton(chooser, QStringLiteral("Open"))->isEnabled());
        QCOMPARE(chooser.port(), QStringLiteral("/tmp/scanner"));
        chooser.findChild<QListWidget *>()->item(0)->setSelected(true);
        QCOMPARE(chooser.port(), Uart.devicePath);
        chooser.findChild<QCheckBox *>()->click();
        QVERIFY(!chooser.remember());
        dialogButton(chooser, QStringLiteral("Quit"))->click();
        QCOMPARE(chooser.result(), int(QDialog::Rejected));
    }
}

void TestStartup::chooserShowsWhyAPortFailedAndFollowsPlugging()
{
    QList<SerialPortEntry> plugged {Uart};
    setSerialPortSource([&plugged] { return plugged; });
    const QString busy = QStringLiteral("The serial port /dev/ttyS0 is in use by another program.");
    PortChooser chooser(QStringLiteral("/dev/ttyS0"), busy);
    chooser.show();
    QCOMPARE(rows(chooser), QStringList {QStringLiteral("/dev/ttyS0\n    ") + busy});

    // An adapter plugged in shows by itself; the remembered one that is missing shows why.
    plugged = {Uart, Ftdi};
    QTRY_COMPARE_WITH_TIMEOUT(rows(chooser).size(), 2, 3000);
    QVERIFY2(rows(chooser).at(1).startsWith(Ftdi.byIdPath
                                            + QStringLiteral("\n    FT232R USB "
                                                             "UART\n    A50285BI")),
             qPrintable(rows(chooser).at(1)));

    // A remembered adapter that is there but failed shows why on its own row, whichever name it
    // was kept by.
    for (const QString &kept : {Ftdi.byIdPath, Ftdi.devicePath}) {
        PortChooser failed(kept, busy);
        QCOMPARE(rows(failed),
                 (QStringList {Uart.devicePath,
                               Ftdi.byIdPath + u"\n    FT232R USB UART\n    A50285BI\n    "_s
                                   + Ftdi.devicePath + u"\n    "_s + busy}));
    }

    const QString missing
        = QStringLiteral("The serial port %1 does not exist.").arg(Acm.devicePath);
    PortChooser unplugged(Acm.devicePath, missing);
    QCOMPARE(rows(unplugged).first(), Acm.devicePath + QStringLiteral("\n    ") + missing);
    QCOMPARE(rows(unplugged).size(), 3);
    QCOMPARE(unplugged.findChild<QListWidget *>()->item(0)->flags(), Qt::NoItemFlags);

    plugged.clear();
    PortChooser empty;
    QVERIFY(rows(empty).isEmpty());
    QVERIFY(empty.findChild<QLabel *>()->text().contains(QStringLiteral("Plug in the scanner")));
}

void TestStartup::rememberedPortIsKeptInTheConfigurationFolder()
{
    const QSettings where(QSettings::NativeFormat, QSettings::UserScope, u"pelmar"_s, u"pelmar"_s);
    if (!where.fileName().startsWith(m_configuration.path()))
        QSKIP("the system keeps a program's settings elsewhere than in a file (the registry)");
    rememberPort({});
    QCOMPARE(rememberedPort(), QString());
    rememberPort(Ftdi.byIdPath);
    QCOMPARE(rememberedPort(), Ftdi.byIdPath);
    // Where an earlier Pelmar kept it, and where a user looks for it.
    const QString file = m_configuration.filePath(QStringLiteral("pelmar/pelmar.conf"));
    QCOMPARE(QSettings(file, QSettings::IniFormat).value(QStringLiteral("port")).toString(),
             Ftdi.byIdPath);
    rememberPort({});
    QCOMPARE(rememberedPort(), QString());
    QVERIFY(!QSettings(file, QSettings::IniFormat).contains(QStringLiteral("port")));
}

void TestStartup::rememberedAdapterIsFoundAgainByItsIdentity_data()
{
    QTest::addColumn<QString>("kept"); // the identity of ttyUSB0 when it was remembered
    QTest::addColumn<QStringList>("now"); // device=identity for each device there at the start
    QTest::addColumn<QString>("found"); // the port opened, or empty to ask
    const QString scanner = QStringLiteral("0403:6001 A50285BI");
    const QString station = QStringLiteral("1a86:7523");
    QTest::newRow("still there") << scanner << QStringList {"ttyUSB0=" + scanner} << "ttyUSB0";
    // Windows gives an adapter in another USB socket another COM number.
    QTest::newRow("under another name")
        << scanner << QStringList {"ttyUSB0=" + station, "ttyUSB3=" + scanner} << "ttyUSB3";
    QTest::newRow("another adapter in its place")
        << scanner << QStringList {"ttyUSB0=" + station} << "";
    QTest::newRow("a device that tells nothing in its place")
        << scanner << QStringList {"ttyUSB0="} << "";
    // Opening it fails, and the chooser says why beside it.
    QTest::newRow("unplugged") << scanner << QStringList {} << "ttyUSB0";
    // Without a serial number one adapter of a make cannot be told from another.
    QTest::newRow("no serial number: by its name alone")
        << station << QStringList {"ttyUSB0=" + scanner, "ttyUSB1=" + station} << "ttyUSB0";
}

void TestStartup::rememberedAdapterIsFoundAgainByItsIdentity()
{
    QFETCH(QString, kept);
    QFETCH(QStringList, now);
    QFETCH(QString, found);
    if (!portsAreDeviceFiles())
        QSKIP("the system's ports are not device files that files can stand for");
    // Files stand for the device nodes, and the list of ports tells which adapter each is.
    QTemporaryDir dev;
    QList<SerialPortEntry> ports;
    setSerialPortSource([&ports] { return ports; });
    const auto plugIn = [&](const QStringList &devices) {
        ports.clear();
        for (const QString &device : QDir(dev.path()).entryList(QDir::Files))
            QVERIFY(QFile::remove(dev.filePath(device)));
        for (const QString &device : devices) {
            const QString path = dev.filePath(device.section(u'=', 0, 0));
            QVERIFY(QFile(path).open(QIODevice::WriteOnly));
            const QString identity = device.section(u'=', 1);
            ports << SerialPortEntry {
                path, {}, {}, {}, identity.section(u' ', 1), identity.section(u' ', 0, 0), {}};
        }
    };
    plugIn({"ttyUSB0=" + kept});
    rememberPort(dev.filePath(QStringLiteral("ttyUSB0")));
    plugIn(now);
    QCOMPARE(rememberedPort(), found.isEmpty() ? QString() : dev.filePath(found));
    rememberPort({});
}

// Read as a screen reader reads the window: a text box and the list by the label beside them, a
// button by its caption, once, and pressed as it is clicked.
void TestStartup::screenReaderMeetsEachControlByTheTextShownForIt()
{
    PseudoTerminal line;
    Form1 form;
    form.Comm1.setDevicePath(line.devicePath());
    form.load();
    const std::pair<QWidget *, QLabel *> labelled[] = {{form.Text1, form.Label1},
                                                       {form.Text2, form.Label2},
                                                       {form.Text3, form.Label3},
                                                       {form.List1, form.Label4}};
    for (const auto &[control, label] : labelled) {
        QCOMPARE(QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name),
                 label->text());
    }
    for (QPushButton *button : form.findChildren<QPushButton *>()) {
        QAccessibleInterface *read = QAccessible::queryAccessibleInterface(button);
        QCOMPARE(read->role(), QAccessible::Button);
        QCOMPARE(read->text(QAccessible::Name), button->findChild<QLabel *>()->text());
        QCOMPARE(read->childCount(), 0);
    }
    QSignalSpy clicks(form.Clrlist, &QPushButton::clicked);
    QVERIFY(clicks.isValid());
    QAccessible::queryAccessibleInterface(form.Clrlist)
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    QTRY_COMPARE(clicks.size(), 1);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
