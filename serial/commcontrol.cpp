// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "commcontrol.h"

#include "linedriver.h"
#include "lowlatency.h"
#include "serialports.h"

#include <QByteArrayView>
#include <QMetaEnum>
#include <QMetaObject>
#include <QScopedValueRollback>

namespace {

RunTimeError invalidValue(const QString &property, const QString &value)
{
    return RunTimeError(
        RunTimeError::InvalidPropertyValue,
        QStringLiteral("Invalid property value: %1 cannot be %2").arg(property, value));
}

// The length of the first read in the characters received: up to the scanner's line end when more
// characters follow it, or all of them.
qsizetype firstReadLength(QByteArrayView received)
{
    const qsizetype lineEnd = received.indexOf("\r\n");
    const qsizetype afterLineEnd = lineEnd + 2;
    return lineEnd >= 0 && afterLineEnd < received.size() ? afterLineEnd : received.size();
}

// Whether an error of the open port means that nothing more will be received. Qt 6.4 reports a
// hang-up on Linux as a read error, over and over while the port stays open; Qt 6.8 reports none,
// which m_hangUpCheck sees instead. On Windows, Qt ends reading after any failed wait, and gives
// the driver's reason as it comes: a removed adapter may be a resource, permission, not-found or
// unknown error. Only a time-out (of a wait for nothing) and a refused setting leave it reading.
bool endsReading(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError:
    case QSerialPort::UnsupportedOperationError:
    case QSerialPort::NotOpenError:
    case QSerialPort::OpenError:
        return false;
    default:
        return true;
    }
}

// How often to look whether the line has hung up: often enough to tell the user within a
// second, seldom enough to cost nothing.
constexpr int HangUpCheckMilliseconds = 250;

} // namespace

CommControl::CommControl(QObject *parent)
    : QObject(parent), m_serial(this), m_returnWatch([this] { return openDevice(); })
{
    m_serial.setReadBufferSize(ReceiveBufferSize);
    connect(&m_serial, &QSerialPort::readyRead, this, [this] {
        if (m_draining)
            return;
        moveToReceiveBuffer();
        raiseOnComm();
    });
    connect(&m_serial, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) {
                if (endsReading(error))
                    loseDevice(error);
            });
    connect(&m_returnWatch, &ReturnWatch::notice, this, &CommControl::notice);
    // Qt 6.8 reads the 0 bytes of a hung-up line over and over without a signal, so the port
    // asks the system itself; on Qt 6.4 the read error comes first.
    m_hangUpCheck.setInterval(HangUpCheckMilliseconds);
    connect(&m_hangUpCheck, &QTimer::timeout, this, [this] {
        if (hungUp(m_serial))
            loseDevice(QSerialPort::NoError);
    });
}

void CommControl::setCommPort(std::int16_t number)
{
    requireClosed();
    if (number < 1)
        throw RunTimeError(RunTimeError::PortInvalid,
                           QStringLiteral("Invalid port number %1").arg(number));
    m_commPort = number;
}

void CommControl::setDevicePath(const QString &path)
{
    requireClosed();
    m_devicePath = path.isEmpty() ? QString() : systemLocation(path);
}

QString CommControl::devicePath() const
{
    return m_devicePath.isEmpty() ? devicePathForPort(m_commPort) : m_devicePath;
}

void CommControl::setSettings(const QString &settings)
{
    requireClosed();
    const std::optional<LineSettings> parsed = parseLineSettings(settings);
    if (!parsed)
        throw invalidValue(QStringLiteral("Settings"),
                           QLatin1Char('"') + settings + QLatin1Char('"'));
    m_lineSettings = *parsed;
    m_settingsText = settings;
}

// Text is the only mode there is, so there is nothing to keep.
void CommControl::setInputMode(InputModes mode)
{
    if (mode != InputModeText)
        throw invalidValue(QStringLiteral("InputMode"), QString::number(mode));
}

void CommControl::setInputLen(std::int16_t length)
{
    if (length < 0)
        throw invalidValue(QStringLiteral("InputLen"), QString::number(length));
    m_inputLen = length;
}

void CommControl::setRThreshold(std::int16_t threshold)
{
    if (threshold < 0)
        throw invalidValue(QStringLiteral("RThreshold"), QString::number(threshold));
    m_rThreshold = threshold;
}

void CommControl::setPortOpen(bool open)
{
    if (!open) {
        m_returnWatch.stop();
        m_hangUpCheck.stop();
        if (m_serial.isOpen()) {
            m_serial.flush();
            m_serial.close();
        }
        clearReceived();
        return;
    }
    requireClosed();
    if (const OpenResult opened = openDevice(); !opened)
        throw opened.error();
}

OpenResult CommControl::openDevice()
{
    // Every setting goes to QSerialPort before open(): a pseudo-terminal refuses a later change
    // of parity or data bits.
    m_serial.setPortName(devicePath());
    m_serial.setBaudRate(m_lineSettings.baudRate);
    m_serial.setDataBits(m_lineSettings.dataBits);
    m_serial.setParity(m_lineSettings.parity);
    m_serial.setStopBits(m_lineSettings.stopBits);
    m_serial.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_serial.open(QIODevice::ReadWrite))
        return OpenResult::failure(openError(m_serial, devicePath()));
    ++m_openings;
    m_decoder = ParityMarkDecoder(markParityErrors(m_serial));
    m_modemLines = raiseModemLines(m_serial);
    discardWhatCameBeforeTheOpen(m_serial);
    requestLowLatency(m_serial);
    clearReceived();
    m_lostReason.clear();
    m_identity = deviceIdentity(devicePath());
    m_hangUpCheck.start();
    if (!m_latencyTold) {
        if (const std::optional<QString> slow = slowAdapterNotice(devicePath())) {
            m_latencyTold = true;
            emit notice(*slow);
        }
    }
    return {};
}

QString CommControl::Input()
{
    return takeInput(Taking::Everything);
}

QString CommControl::InputRead()
{
    return takeInput(Taking::OneRead);
}

QString CommControl::takeInput(Taking taking)
{
    requireOpen();
    readPending();
    moveToReceiveBuffer();
    qsizetype count
        = m_inputLen > 0 ? qMin<qsizetype>(m_inputLen, m_received.size()) : m_received.size();
    if (taking == Taking::OneRead)
        count = firstReadLength(QByteArrayView(m_received).first(count));
    const QString text = QString::fromLatin1(m_received.first(count));
    m_received.remove(0, count);
    m_lastInputMarks.clear();
    for (qsizetype i = 0; i < count; ++i) {
        if (m_marked.at(i))
            m_lastInputMarks << i;
    }
    m_marked.remove(0, count);
    ++m_inputsTaken;
    // Characters held back while the buffer was full come in now; they may make up a read of
    // their own, which no readyRead will announce.
    moveToReceiveBuffer();
    if (!m_notifying && thresholdReached())
        QMetaObject::invokeMethod(this, &CommControl::raiseOnComm, Qt::QueuedConnection);
    return text;
}

void CommControl::setOutput(const QString &text)
{
    requireOpen();
    const QByteArray bytes = text.toLatin1();
    {
        // A device lost while sending is told by what this throws, not by deviceLost as well.
        const QScopedValueRollback sending(m_sending, true);
        const bool written = m_serial.write(bytes) == bytes.size();
        if (written)
            m_serial.flush();
        if (!m_lostReason.isEmpty())
            throw RunTimeError(RunTimeError::PortGone, lostDescription());
        if (!written) {
            throw RunTimeError(RunTimeError::PortGone,
                               QStringLiteral("Nothing could be sent to the serial port %1: %2")
                                   .arg(devicePath(), m_serial.errorString()));
        }
    }
}

LineSettings CommControl::appliedLineSettings() const
{
    return {m_serial.baudRate(), m_serial.parity(), m_serial.dataBits(), m_serial.stopBits()};
}

void CommControl::requireClosed() const
{
    if (m_serial.isOpen())
        throw RunTimeError(RunTimeError::PortAlreadyOpen, QStringLiteral("Port already open"));
}

void CommControl::requireOpen() const
{
    if (!m_lostReason.isEmpty()) {
        throw RunTimeError(RunTimeError::PortGone,
                           QStringLiteral("The scanner's serial port %1 is gone (%2). %3")
                               .arg(devicePath(), m_lostReason, whatComesNext()));
    }
    if (!m_serial.isOpen())
        throw RunTimeError(RunTimeError::PortNotOpen,
                           QStringLiteral("The serial port is not open"));
}

// Takes what the driver already holds, so that Input returns every character that has arrived,
// not only those an earlier readyRead brought in.
void CommControl::readPending()
{
    const QScopedValueRollback draining(m_draining, true);
    while (m_serial.isOpen() && m_serial.bytesAvailable() < ReceiveBufferSize
           && m_serial.waitForReadyRead(0)) { }
}

void CommControl::moveToReceiveBuffer()
{
    while (m_received.size() < ReceiveBufferSize && m_serial.bytesAvailable() > 0)
        m_received
            += m_decoder.decode(m_serial.read(ReceiveBufferSize - m_received.size()), &m_marked);
}

void CommControl::clearReceived()
{
    m_received.clear();
    m_marked.clear();
}

bool CommControl::thresholdReached() const
{
    return m_rThreshold > 0
        && (m_received.size() >= m_rThreshold || m_received.size() >= ReceiveBufferSize);
}

void CommControl::raiseOnComm()
{
    if (m_notifying)
        return;
    const QScopedValueRollback notifying(m_notifying, true);
    while (m_serial.isOpen() && thresholdReached()) {
        const quint64 taken = m_inputsTaken;
        emit OnComm();
        // A handler that shows a box runs a nested event loop, and readyRead does not come again
        // for what arrived meanwhile: look at what waits now.
        moveToReceiveBuffer();
        if (taken == m_inputsTaken)
            break;
    }
}

void CommControl::loseDevice(QSerialPort::SerialPortError error)
{
    if (!m_serial.isOpen() || !m_lostReason.isEmpty())
        return;
    // After a hangup Qt's error text comes from a stale errno, so say what happened instead.
    m_lostReason = error == QSerialPort::WriteError
        ? QStringLiteral("sending failed: %1").arg(m_serial.errorString())
        : QStringLiteral("unplugged, or the line was closed at the far end");
    m_lossSeenBy = error == QSerialPort::NoError
        ? QStringLiteral("Qt reported nothing; Pelmar's own look at the line saw it")
        : QStringLiteral("Qt reported %1 (%2)")
              .arg(QString::fromLatin1(
                       QMetaEnum::fromType<QSerialPort::SerialPortError>().valueToKey(error)),
                   m_serial.errorString());
    m_hangUpCheck.stop();
    m_serial.close();
    clearReceived();
    m_returnWatch.start(devicePath(), m_identity);
    if (!m_sending)
        emit deviceLost(lostDescription());
}

QString CommControl::lostDescription() const
{
    return QStringLiteral("The scanner's serial port %1 has gone away (%2). The list stays as it "
                          "is. %3")
        .arg(devicePath(), m_lostReason, whatComesNext());
}

QString CommControl::whatComesNext() const
{
    return ReturnWatch::waitsFor(devicePath())
        ? QStringLiteral("Pelmar opens the port again by itself once the scanner is back.")
        : QStringLiteral("A pseudo-terminal does not come back: start Pelmar again on the new "
                         "one.");
}
