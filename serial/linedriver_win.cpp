// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "linedriver.h"

#include "serialports.h"

#include <windows.h>

// Windows puts its error character in place of a byte received with a parity error. Below 8 data
// bits no real character is 0xFF, so that byte tells a bad byte from a real '?'; at 8 bits the
// error character is the '?' itself.
ParityMarkDecoder::Marking markParityErrors(QSerialPort &port)
{
    DCB line {};
    line.DCBlength = sizeof line;
    if (!GetCommState(port.handle(), &line))
        return ParityMarkDecoder::Marking::None;
    const bool markable = port.dataBits() < QSerialPort::Data8;
    line.fErrorChar = TRUE;
    line.ErrorChar = markable ? ParityMarkDecoder::ErrorByte : ParityMarkDecoder::Replacement;
    if (!SetCommState(port.handle(), &line))
        return ParityMarkDecoder::Marking::None;
    return markable ? ParityMarkDecoder::Marking::ErrorByte : ParityMarkDecoder::Marking::None;
}

// Drivers fail the port's pending wait in their own ways when the adapter is removed, and Qt
// reports some of them as no loss of the device at all; but the port's handle then fails, and a
// driver of Windows' framework takes the COM name away.
bool hungUp(QSerialPort &port)
{
    COMSTAT status {};
    return !ClearCommError(port.handle(), nullptr, &status) || !deviceIsPresent(port.portName());
}

// Qt's open leaves RTS low. Not through Qt's setters, which would take a driver without modem
// lines for a failed port; the state is read back first, so the error character stays.
bool raiseModemLines(QSerialPort &port)
{
    DCB line {};
    line.DCBlength = sizeof line;
    if (!GetCommState(port.handle(), &line))
        return false;
    line.fDtrControl = DTR_CONTROL_ENABLE;
    line.fRtsControl = RTS_CONTROL_ENABLE;
    return SetCommState(port.handle(), &line) && EscapeCommFunction(port.handle(), SETDTR)
        && EscapeCommFunction(port.handle(), SETRTS);
}

std::optional<QSerialPort::PinoutSignals> readModemLines(QSerialPort &port)
{
    DCB line {};
    line.DCBlength = sizeof line;
    DWORD given = 0;
    if (!GetCommState(port.handle(), &line) || !GetCommModemStatus(port.handle(), &given))
        return std::nullopt;
    QSerialPort::PinoutSignals pinout;
    if (line.fDtrControl == DTR_CONTROL_ENABLE)
        pinout |= QSerialPort::DataTerminalReadySignal;
    if (line.fRtsControl == RTS_CONTROL_ENABLE)
        pinout |= QSerialPort::RequestToSendSignal;
    const auto add = [&](DWORD status, QSerialPort::PinoutSignal signal) {
        if (given & status)
            pinout |= signal;
    };
    add(MS_CTS_ON, QSerialPort::ClearToSendSignal);
    add(MS_DSR_ON, QSerialPort::DataSetReadySignal);
    add(MS_RLSD_ON, QSerialPort::DataCarrierDetectSignal);
    add(MS_RING_ON, QSerialPort::RingIndicatorSignal);
    return pinout;
}

// Qt learns of characters that waited in the driver before the open only once its first wait
// has ended, after the start's Set: they would be listed as a read. Not with Qt's clear(), whose
// abort of the pending read would end its reading for good.
void discardWhatCameBeforeTheOpen(QSerialPort &port)
{
    PurgeComm(port.handle(), PURGE_RXCLEAR);
}
