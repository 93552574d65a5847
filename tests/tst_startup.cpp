#include "commandline.h"
#include "portchoice.h"
#include "portchooser.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

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
    void cleanup() { setSerialPortSource({}); }

    void portIsChosenInItsOrder_data();
    void portIsChosenInItsOrder();
    void portOpensOrTheUserChoosesAnother_data();
    void portOpensOrTheUserChoosesAnother();
    void commandLineIsReadOrRefused_data();
    void commandLineIsReadOrRefused();
    void portListingHasOneLineAPort();
    void chooserOpensTheChosenPortByItsLastingName();
    void chooserShowsWhyAPortFailedAndFollowsPlugging();
    void rememberedPortIsKeptInTheConfigurationFolder();

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
    const PortChoice expected {PortChoice::Source(source), device};
    QCOMPARE(choosePort(
                 commandLine, environment, [&] { return remembered; }, [&] { return found; }),
             expected);
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
    row("port 1 busy, then quit", PortChoice::OnlyPort, "/dev/ttyS0", {"/dev/ttyS0=busy"}, {},
        {"/dev/ttyS0|busy"}, {"/dev/ttyS0"}, false, "", "old");
    row("chosen, not to be remembered", ask, "", {}, {"/dev/ttyACM0!"}, {"|"}, {"/dev/ttyACM0"},
        true, "", "");
    row("chosen port fails: asked again", ask, "", {"/dev/ttyACM0=no permission"},
        {"/dev/ttyACM0", "/dev/ttyUSB0"}, {"|", "/dev/ttyACM0|no permission"},
        {"/dev/ttyACM0", "/dev/ttyUSB0"}, true, "", "/dev/ttyUSB0");
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
    row("missing value", {"--port"}, 2, "", "pelmar: Missing value after '--port'.");
    row("stray argument", {"/dev/ttyUSB0"}, 2, "", "pelmar: Unexpected argument '/dev/ttyUSB0'.");
    row("a window without a display", {"--port", "/dev/pelmar-none"}, 1, "",
        "pelmar: there is no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY "
        "is set). Start Pelmar in a desktop session; --help, --version and --list-ports need "
        "none.");
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
    QProcess pelmar;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "PELMAR_PORT"})
        environment.remove(QString::fromLatin1(name));
    pelmar.setProcessEnvironment(environment);
    pelmar.start(QStringLiteral(PELMAR_PATH), arguments);
    QVERIFY(pelmar.waitForFinished(10000));
    const QString printed = QString::fromLocal8Bit(pelmar.readAllStandardOutput());
    const QString told = QString::fromLocal8Bit(pelmar.readAllStandardError());
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

void TestStartup::portListingHasOneLineAPort()
{
    setSerialPortSource([] { return QList<SerialPortEntry> {Uart, Ftdi}; });
    QCOMPARE(portListing(availableSerialPorts()),
             QStringLiteral("/dev/ttyS0\t-\t-\t-\t-\t-\n"
                            "/dev/ttyUSB0\t%1\tFT232R USB UART\tFTDI\tA50285BI\t"
                            "0403:6001\n")
                 .arg(Ftdi.byIdPath));
    setSerialPortSource([] { return QList<SerialPortEntry> {}; });
    QVERIFY(
        portListing(availableSerialPorts()).startsWith(QStringLiteral("No serial port found.")));
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

    const QString missing
        = QStringLiteral("The serial port %1 does not exist.").arg(Acm.devicePath);
    PortChooser unplugged(Acm.devicePath, missing);
    QCOMPARE(rows(unplugged).first(), Acm.devicePath + QStringLiteral("\n    ") + missing);
    QCOMPARE(rows(unplugged).size(), 3);

    plugged.clear();
    PortChooser empty;
    QVERIFY(rows(empty).isEmpty());
    QVERIFY(empty.findChild<QLabel *>()->text().contains(QStringLiteral("Plug in the scanner")));
}

void TestStartup::rememberedPortIsKeptInTheConfigurationFolder()
{
    rememberPort({});
    QCOMPARE(rememberedPort(), QString());
    rememberPort(Ftdi.byIdPath);
    QCOMPARE(rememberedPort(), Ftdi.byIdPath);
    QVERIFY(QFile::exists(m_configuration.filePath(QStringLiteral("pelmar/pelmar.conf"))));
    rememberPort({});
    QCOMPARE(rememberedPort(), QString());
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
