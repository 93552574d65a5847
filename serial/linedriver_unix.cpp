#include "linedriver.h"

#include <poll.h>
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
