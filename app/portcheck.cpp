// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "portcheck.h"

#include "commcontrol.h"
#include "returnwatch.h"
#include "runtimeerror.h"
#include "serialports.h"
#include "standardstreams.h"
#include "systemports.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QStringList>
#include <QSysInfo>
#include <QTimer>
#include <QtSerialPort/qtserialportversion.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The scanner's line, as the window opens it.
const QString ScannerSettings = QStringLiteral("9600,E,7,2");
// Often enough to time a return to a fiftieth of a second.
constexpr auto LookInterval = 20ms;

// Counts the Enters typed on standard input, on a thread of its own, as a wait may end at one.
// Read from the descriptor, not through the C library's stream, whose lock the thread holds while
// it waits and which the program's exit would wait for.
class EnterKeys
{
public:
    EnterKeys() : m_count(std::make_shared<std::atomic<int>>(0))
    {
        std::thread([count = m_count] {
            QFile in;
            if (!in.open(0, QIODevice::ReadOnly | QIODevice::Unbuffered,
                         QFileDevice::DontCloseHandle)) {
                return;
            }
            char c = 0;
            while (in.read(&c, 1) == 1) {
                if (c == '\n')
                    ++*count;
            }
        }).detach();
    }
    int count() const { return *m_count; }

private:
    std::shared_ptr<std::atomic<int>> m_count;
};

class Check
{
public:
    Check(std::FILE *out, const PortCheckWaits &waits) : m_out(out), m_waits(waits)
    {
        QObject::connect(&m_port, &CommControl::notice, &m_port, [this](const QString &line) {
            print(QStringLiteral("  Pelmar: ") + line);
        });
    }

    int run(const QString &portName);

private:
    void print(const QString &line) { writeText(m_out, line + u'\n'); }
    void fail(const QString &line)
    {
        ++m_failures;
        print(QStringLiteral("Failed: ") + line);
    }
    // Runs the event loop until done holds, limit passes, or Enter is typed: which of them.
    enum class Ended { Done, TimedOut, Skipped };
    Ended waitFor(const std::function<bool()> &done, std::chrono::milliseconds limit);
    QString since(const QElapsedTimer &timer) const
    {
        return QStringLiteral("+%1 s").arg(double(timer.nsecsElapsed()) / 1e9, 0, 'f', 3);
    }

    void describeSystem();
    void describePort(const QString &portName);
    bool open(const QString &portName);
    void describeModemLines();
    void receive();
    void unplugAndPlugIn();

    std::FILE *m_out;
    PortCheckWaits m_waits;
    EnterKeys m_enter;
    CommControl m_port;
    int m_failures = 0;
};

Check::Ended Check::waitFor(const std::function<bool()> &done, std::chrono::milliseconds limit)
{
    const QDeadlineTimer deadline(limit);
    const int enters = m_enter.count();
    QEventLoop loop;
    QTimer look;
    look.setInterval(LookInterval);
    QObject::connect(&look, &QTimer::timeout, &loop, &QEventLoop::quit);
    look.start();
    for (;;) {
        if (done())
            return Ended::Done;
        if (m_enter.count() != enters)
            return Ended::Skipped;
        if (deadline.hasExpired())
            return Ended::TimedOut;
        loop.exec();
    }
}

void Check::describeSystem()
{
    print(QStringLiteral("Pelmar:        %1").arg(QCoreApplication::applicationVersion()));
    print(QStringLiteral("System:        %1 (%2 %3, %4)")
              .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(), QSysInfo::kernelVersion(),
                   QSysInfo::currentCpuArchitecture()));
    print(QStringLiteral("Qt:            %1 (Pelmar built with %2, Qt Serial Port %3)")
              .arg(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR),
                   QStringLiteral(QTSERIALPORT_VERSION_STR)));
}

void Check::describePort(const QString &portName)
{
    const QString device = canonicalDevice(systemLocation(portName));
    print(QStringLiteral("Port:          %1").arg(portName));
    if (device.isEmpty())
        return;
    SerialPortEntry found;
    for (const SerialPortEntry &port : availableSerialPorts()) {
        if (port.devicePath == device)
            found = port;
    }
    const auto field
        = [](const QString &text) { return text.isEmpty() ? QStringLiteral("-") : text; };
    print(QStringLiteral("Device:        %1").arg(device));
    print(QStringLiteral("Description:   %1").arg(field(found.description)));
    print(QStringLiteral("Maker:         %1").arg(field(found.manufacturer)));
    print(QStringLiteral("VID:PID:       %1").arg(field(found.vendorProduct)));
    print(QStringLiteral("Serial number: %1").arg(field(found.serialNumber)));
    print(QStringLiteral("Driver:        %1").arg(field(driverName(device))));
}

bool Check::open(const QString &portName)
{
    QElapsedTimer opening;
    opening.start();
    try {
        m_port.setDevicePath(portName);
        m_port.setSettings(ScannerSettings);
        m_port.setPortOpen(true);
    } catch (const RunTimeError &error) {
        fail(error.message());
        return false;
    }
    print(QStringLiteral("Opened:        %1 at %2 in %3 ms")
              .arg(m_port.devicePath(), ScannerSettings)
              .arg(opening.elapsed()));
    return true;
}

void Check::describeModemLines()
{
    const std::optional<QSerialPort::PinoutSignals> lines = m_port.modemLines();
    if (!lines) {
        print(QStringLiteral("Modem lines:   none (the driver has no modem lines)"));
        return;
    }
    const auto state = [&](const char *name, QSerialPort::PinoutSignal line) {
        return QStringLiteral("%1 %2").arg(QLatin1String(name),
                                           lines->testFlag(line) ? QStringLiteral("on")
                                                                 : QStringLiteral("off"));
    };
    print(QStringLiteral("Modem lines:   ")
          + QStringList {state("DTR", QSerialPort::DataTerminalReadySignal),
                         state("RTS", QSerialPort::RequestToSendSignal),
                         state("CTS", QSerialPort::ClearToSendSignal),
                         state("DSR", QSerialPort::DataSetReadySignal),
                         state("DCD", QSerialPort::DataCarrierDetectSignal),
                         state("RI", QSerialPort::RingIndicatorSignal)}
                .join(QStringLiteral(", ")));
}

// Every byte in hex as it comes, a byte received with a parity error or a break as PE.
void Check::receive()
{
    print(QStringLiteral("Receiving for %1 s: scan a barcode or two now (Enter moves on).")
              .arg(m_waits.receiving.count() / 1000.0));
    QElapsedTimer receiving;
    receiving.start();
    int bytes = 0;
    int marked = 0;
    m_port.setRThreshold(1);
    const QMetaObject::Connection received = QObject::connect(
        &m_port, &CommControl::OnComm, &m_port, [&] {
            const QString text = m_port.Input();
            const QList<qsizetype> marks = m_port.lastInputMarks();
            QStringList hex;
            for (qsizetype i = 0; i < text.size(); ++i) {
                hex << (marks.contains(i) ? QStringLiteral("PE")
                                          : QStringLiteral("%1")
                                                .arg(text.at(i).unicode(), 2, 16, QLatin1Char('0'))
                                                .toUpper());
            }
            bytes += int(text.size());
            marked += int(marks.size());
            print(QStringLiteral("  %1  %2").arg(since(receiving), hex.join(u' ')));
        });
    waitFor([] { return false; }, m_waits.receiving);
    QObject::disconnect(received);
    print(QStringLiteral("Received:      %1 bytes, %2 with a parity error or a break (PE)")
              .arg(bytes)
              .arg(marked));
}

void Check::unplugAndPlugIn()
{
    const QString device = m_port.devicePath();
    print(QStringLiteral("Unplug the adapter now (waiting %1 s; Enter skips the unplug).")
              .arg(m_waits.unplug.count() / 1000.0));
    QElapsedTimer step;
    step.start();
    bool lost = false;
    const QMetaObject::Connection loss
        = QObject::connect(&m_port, &CommControl::deviceLost, &m_port, [&] { lost = true; });
    const Ended unplugged = waitFor([&] { return lost; }, m_waits.unplug);
    QObject::disconnect(loss);
    if (unplugged == Ended::Skipped) {
        print(QStringLiteral("  skipped"));
        return;
    }
    if (unplugged == Ended::TimedOut) {
        fail(QStringLiteral("no loss of %1 was seen in %2 s")
                 .arg(device)
                 .arg(m_waits.unplug.count() / 1000.0));
        return;
    }
    print(QStringLiteral("  %1  lost: %2; the system: %3")
              .arg(since(step), m_port.lossSeenBy(),
                   deviceIsPresent(device) ? QStringLiteral("%1 is still there").arg(device)
                                           : QStringLiteral("%1 is gone").arg(device)));

    if (!ReturnWatch::waitsFor(device)) {
        print(QStringLiteral("  %1 does not come back: a pseudo-terminal's name goes to the next "
                             "one made")
                  .arg(device));
        return;
    }
    print(QStringLiteral("Plug it in again (waiting %1 s; Enter skips the plug-in).")
              .arg(m_waits.plugIn.count() / 1000.0));
    step.restart();
    // The return is timed from the name's coming back, where the system took it away at all.
    bool seenGone = !deviceIsPresent(device);
    QElapsedTimer back;
    const Ended returned = waitFor(
        [&] {
            const bool present = deviceIsPresent(device);
            seenGone = seenGone || !present;
            if (seenGone && present && !back.isValid())
                back.start();
            return m_port.PortOpen();
        },
        m_waits.plugIn);
    if (returned == Ended::Skipped) {
        print(QStringLiteral("  skipped"));
        return;
    }
    if (returned == Ended::TimedOut) {
        fail(back.isValid() || !seenGone
                 ? QStringLiteral("%1 is there but was not opened again").arg(device)
                 : QStringLiteral("%1 did not come back").arg(device));
        return;
    }
    if (back.isValid()) {
        print(QStringLiteral("  %1  %2 is back; opened again %3 s after it came back")
                  .arg(since(step), device)
                  .arg(double(back.nsecsElapsed()) / 1e9, 0, 'f', 3));
    } else {
        print(QStringLiteral("  %1  %2 is open again (the system never showed it gone)")
                  .arg(since(step), device));
    }
}

int Check::run(const QString &portName)
{
    print(QStringLiteral("A check of the serial port %1, to send with a problem report")
              .arg(portName));
    describeSystem();
    describePort(portName);
    if (open(portName)) {
        describeModemLines();
        print(QStringLiteral("Latency:       %1").arg(m_port.latency()));
        receive();
        unplugAndPlugIn();
        m_port.setPortOpen(false);
    }
    print(m_failures == 0 ? QStringLiteral("Every step worked.")
                          : QStringLiteral("%1 step(s) failed.").arg(m_failures));
    return m_failures == 0 ? 0 : 1;
}

} // namespace

int checkPort(const QString &port, std::FILE *out, const PortCheckWaits &waits)
{
    return Check(out, waits).run(port);
}
