// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef COMMCONTROL_H
#define COMMCONTROL_H

#include "linedriver.h"
#include "linesettings.h"
#include "lowlatency.h"
#include "openerror.h"
#include "paritymarks.h"
#include "returnwatch.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <optional>

// The serial port object of the window, with the properties and operations the actions use,
// over QSerialPort. Text and bytes convert through Latin-1. Received characters wait in a
// receive buffer of ReceiveBufferSize; OnComm is raised from the event loop when RThreshold of
// them wait (never for a threshold of 0), or when the buffer is full. Failures throw RunTimeError.
class CommControl : public QObject
{
    Q_OBJECT

public:
    static constexpr int ReceiveBufferSize = 1024;
    enum InputModes { InputModeText = 0 };

    explicit CommControl(QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(CommControl)

    void setCommPort(std::int16_t number);
    QString Settings() const { return m_settingsText; }
    void setSettings(const QString &settings);
    void setInputMode(InputModes mode);
    void setInputLen(std::int16_t length);
    bool PortOpen() const { return m_serial.isOpen(); }
    void setPortOpen(bool open);
    std::int16_t RThreshold() const { return m_rThreshold; }
    void setRThreshold(std::int16_t threshold);

    // Takes the waiting characters (at most InputLen of them, all for 0): "" when none wait.
    QString Input();
    // Takes one read of the scanner: as Input, but where the characters taken hold the scanner's
    // line end (CR LF) with more after it, only up to that line end. The rest waits for the next
    // read, so that a read that came in with the start of the next does not put every later read
    // out of step.
    QString InputRead();
    // Where the text that Input last returned holds a '?' put in place of a byte received with a
    // parity error or a break, as a real '?' cannot be told from it there.
    QList<qsizetype> lastInputMarks() const { return m_lastInputMarks; }
    // Sends text, one byte per character, in one write.
    void setOutput(const QString &text);

    // The device opened for the port: the one named here (a USB scanner, a by-id link, the
    // simulator's pseudo-terminal; a bare name is taken in /dev as Qt takes it), or the port
    // number's own when none is named.
    void setDevicePath(const QString &path);
    QString devicePath() const;
    // What the device was really given, read back from QSerialPort.
    LineSettings appliedLineSettings() const;
    // How many times the device has been opened: two reads taken under different counts have a
    // loss of the device between them, and reads may have been missed there.
    quint64 openings() const { return m_openings; }
    // Whether the last open raised DTR and RTS: false where the line has no modem lines.
    bool modemLinesRaised() const { return m_modemLines; }
    // The modem lines of the open port as the driver tells them; none where it has none.
    std::optional<QSerialPort::PinoutSignals> modemLines() { return readModemLines(m_serial); }
    // The adapter's latency timer and low-latency flag, as far as the system tells.
    QString latency() { return latencyReport(m_serial, devicePath()); }
    // Who saw the last loss of the device: Qt, with its error and what the system told it, or
    // Pelmar's own look at the line.
    QString lossSeenBy() const { return m_lossSeenBy; }

signals:
    void OnComm();
    // The device went away while open (unplugged, or the far end of a pseudo-terminal closed).
    // The port is closed by then, and is opened again with the same settings, threshold and an
    // empty buffer once the same device is back under the same name; the description says which
    // and why. Not emitted for a loss that Output reports by throwing.
    void deviceLost(const QString &description);
    // A line for the log of what became of the port: its return, a slow adapter.
    void notice(const QString &line);

private:
    enum class Taking { Everything, OneRead };
    QString takeInput(Taking taking);
    OpenResult openDevice();
    void requireClosed() const;
    void requireOpen() const;
    void readPending();
    void moveToReceiveBuffer();
    void clearReceived();
    bool thresholdReached() const;
    void raiseOnComm();
    void loseDevice(QSerialPort::SerialPortError error);
    QString lostDescription() const;
    QString whatComesNext() const;

    QSerialPort m_serial;
    ParityMarkDecoder m_decoder;
    QByteArray m_received;
    QByteArray m_marked; // one byte a received character: 1 where it is a parity mark
    QList<qsizetype> m_lastInputMarks;
    LineSettings m_lineSettings;
    QString m_settingsText = QStringLiteral("9600,N,8,1");
    std::int16_t m_commPort = 1;
    std::int16_t m_inputLen = 0;
    std::int16_t m_rThreshold = 0;
    quint64 m_inputsTaken = 0;
    quint64 m_openings = 0;
    bool m_notifying = false;
    bool m_draining = false;
    QString m_devicePath;
    QString m_lostReason;
    QString m_lossSeenBy;
    std::optional<QString> m_identity; // of the device last opened, to know it again
    QTimer m_hangUpCheck;
    ReturnWatch m_returnWatch;
    bool m_sending = false;
    bool m_latencyTold = false;
    bool m_modemLines = false;
};

#endif // COMMCONTROL_H
