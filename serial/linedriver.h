#ifndef LINEDRIVER_H
#define LINEDRIVER_H

#include "paritymarks.h"

#include <QSerialPort>

// What the port asks of the system's serial driver beyond what QSerialPort does; each system's
// answers are in linedriver_<system>.cpp.

// QSerialPort opens a device with bytes received with a parity error dropped, or passed on as if
// they were good. Asks the driver to mark them instead, after every open, and says how the marks
// come.
ParityMarkDecoder::Marking markParityErrors(QSerialPort &port);

// Whether the far end of the open port has hung up (an adapter unplugged, a pseudo-terminal
// closed at its other end) where QSerialPort does not report it itself.
bool hungUp(QSerialPort &port);

#endif // LINEDRIVER_H
