#include "linedriver.h"

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

// Windows fails the port's pending wait when its device is removed, which Qt reports as a
// resource error.
bool hungUp(QSerialPort &)
{
    return false;
}
