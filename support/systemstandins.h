// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef SYSTEMSTANDINS_H
#define SYSTEMSTANDINS_H

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The tests' stand-ins for what lies beneath the port on Linux: the serial driver's own settings
// (TIOCGSERIAL and TIOCSSERIAL, which a pseudo-terminal refuses) and the folders where the
// system tells of its adapters (/sys/class/tty, /dev/serial). Windows has neither a driver
// setting that Pelmar asks for nor such folders: there the driver is not stood in for (present()
// is false) and a folder given does nothing. With them, what else the system does otherwise, for
// the rows that hold only where it does not. Each system's side is in systemstandins_<system>.cpp.

// The driver's serial settings as an adapter's driver keeps them, in place of the
// pseudo-terminal's; the device of every TIOCSSERIAL is kept in set.
struct SerialDriver
{
    SerialDriver();
    ~SerialDriver();
    SerialDriver(const SerialDriver &) = delete;
    SerialDriver &operator=(const SerialDriver &) = delete;

    // Whether the system has the settings stood in for, so that Pelmar asks them of the driver.
    static bool present();

    static const int OtherFlags; // flags of the driver's own: ASYNC_SKIP_TEST | ASYNC_SPD_HI
    static const int LowLatency; // ASYNC_LOW_LATENCY
    static constexpr int FifoSize = 64;
    int flags;
    int fifoSize = FifoSize;
    QStringList set;
};

// Whether serial ports are device files (/dev/ttyUSB0) that the system tells of in folders
// (/sys/class/tty, /dev/serial), which a test can stand in for with files and links of its own.
bool portsAreDeviceFiles();

// Whether a received 0xFF stands for a byte with a parity error at 7 data bits (Windows' error
// character) rather than for itself. A pseudo-terminal passes all 8 bits where a 7-bit line would
// not, so a test on such a system cannot send the scanner a real 0xFF.
bool byteFFMarksParityErrors();

// Whether a window needs the display named in the environment (DISPLAY, WAYLAND_DISPLAY), which
// a program started without one cannot show.
bool displayIsNamedByTheEnvironment();

// Starts program as a Command Prompt starts a program of the desktop, with no standard streams,
// from this program's console, and gives whether it holds a console once ready() holds (within
// 10 s), ending it then; none where this program has no console of its own (Linux; Wine's
// programs started from a terminal, which test-windows runs in a console of Wine's instead).
std::optional<bool> joinsTheConsoleOfItsPrompt(const QString &program, const QStringList &arguments,
                                               const std::function<bool()> &ready);

// The tests' folder in place of /sys/class/tty, or of /dev/serial with by-id and by-path in it;
// empty text brings back the system's.
void useSysClassTty(const QString &folder);
void useDevSerial(const QString &folder);

#endif // SYSTEMSTANDINS_H
