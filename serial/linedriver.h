// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LINEDRIVER_H
#define LINEDRIVER_H

#include "paritymarks.h"

#include <QSerialPort>

#include <optional>

// What the port asks of the system's serial driver beyond what QSerialPort does; each system's
// answers are in linedriver_<system>.cpp.

// QSerialPort opens a device with bytes received with a parity error dropped, or passed on as if
// they were good. Asks the driver to mark them instead, after every open, and says how the marks
// come.
ParityMarkDecoder::Marking markParityErrors(QSerialPort &port);

// Whether the far end of the open port has hung up (an adapter unplugged, a pseudo-terminal
// closed at its other end) where QSerialPort does not report it itself.
bool hungUp(QSerialPort &port);

// Throws away what the driver received before the port was opened, where a read would otherwise
// be listed from it: the start's Set must find it there to take it.
void discardWhatCameBeforeTheOpen(QSerialPort &port);

// Raises DTR and RTS on the open port, as every open must leave them on every system: a scanner
// may take its handshake or its power from either. Whether the line has them: a
// pseudo-terminal has none.
bool raiseModemLines(QSerialPort &port);

// The modem lines of the open port, the two it drives and the four it is given; none where the
// line has none. Not through QSerialPort, for the same reason.
std::optional<QSerialPort::PinoutSignals> readModemLines(QSerialPort &port);

#endif // LINEDRIVER_H
