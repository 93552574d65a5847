// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "linedriver.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

// QSerialPort sets IGNPAR and clears INPCK and PARMRK at every open; with them the other way round
// the terminal driver marks each bad byte, and doubles a real 0xFF.
ParityMarkDecoder::Marking markParityErrors(QSerialPort &port)
{
    termios settings {};
    if (tcgetattr(port.handle(), &settings) == 0) {
        settings.c_iflag |= INPCK | PARMRK;
        settings.c_iflag &= ~IGNPAR;
        tcsetattr(port.handle(), TCSANOW, &settings);
    }
    return ParityMarkDecoder::Marking::Terminal;
}

// Qt 6.4 reports a hang-up as a read error over and over; Qt 6.8 reports nothing and goes on
// reading the 0 bytes of the dead line. The kernel says so through poll() whatever was asked for.
bool hungUp(QSerialPort &port)
{
    pollfd line {port.handle(), 0, 0};
    return poll(&line, 1, 0) == 1 && (line.revents & (POLLHUP | POLLNVAL));
}

// Opening a tty raises both already; asked again here so that every system starts the same. Not
// through QSerialPort, which takes a pseudo-terminal's refusal for an error of the port.
bool raiseModemLines(QSerialPort &port)
{
    const int lines = TIOCM_DTR | TIOCM_RTS;
    return ioctl(port.handle(), TIOCMBIS, &lines) == 0;
}

std::optional<QSerialPort::PinoutSignals> readModemLines(QSerialPort &port)
{
    int lines = 0;
    if (ioctl(port.handle(), TIOCMGET, &lines) != 0)
        return std::nullopt;
    QSerialPort::PinoutSignals pinout;
    const auto add = [&](int line, QSerialPort::PinoutSignal signal) {
        if (lines & line)
            pinout |= signal;
    };
    add(TIOCM_DTR, QSerialPort::DataTerminalReadySignal);
    add(TIOCM_RTS, QSerialPort::RequestToSendSignal);
    add(TIOCM_CTS, QSerialPort::ClearToSendSignal);
    add(TIOCM_DSR, QSerialPort::DataSetReadySignal);
    add(TIOCM_CAR, QSerialPort::DataCarrierDetectSignal);
    add(TIOCM_RNG, QSerialPort::RingIndicatorSignal);
    return pinout;
}

// The terminal driver hands over what waits at once, and the start's Set takes it (Qt 6.8 has
// emptied the queue at the open itself).
void discardWhatCameBeforeTheOpen(QSerialPort &) { }
