#include "lowlatency.h"

// An FTDI adapter's latency timer is a setting of its driver on Windows, made in the Device
// Manager; Pelmar neither changes nor reads it.
void requestLowLatency(QSerialPort &) { }

std::optional<QString> slowAdapterNotice(const QString &)
{
    return std::nullopt;
}
