#ifndef LOWLATENCY_H
#define LOWLATENCY_H

#include <QString>

#include <optional>

// Asks the driver of an open serial device to hand over received bytes at once. FTDI adapters
// otherwise hold them for their latency timer, 16 ms by default, and every read time would be
// late by up to that much; with the request ftdi_sio sets the timer to 1 ms. Drivers without the
// setting (pseudo-terminals, most other adapters) refuse it, which changes nothing.
void requestLowLatency(int handle);

// The latency timer, in milliseconds, of the USB adapter behind devicePath (a link such as
// /dev/serial/by-id/... is followed), read from sysClassTty/<tty name>/device/latency_timer;
// nothing when the device has none.
std::optional<int> latencyTimer(const QString &devicePath,
                                const QString &sysClassTty = QStringLiteral("/sys/class/tty"));

// What a latency timer above 1 ms costs the user, and how to set it.
QString latencyNotice(const QString &devicePath, int milliseconds);

#endif // LOWLATENCY_H
