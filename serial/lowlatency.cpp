#include "lowlatency.h"

#include "serialports.h"

#include <QFile>
#include <QFileInfo>

#include <linux/serial.h>
#include <sys/ioctl.h>

void requestLowLatency(int handle)
{
    serial_struct serial {};
    if (ioctl(handle, TIOCGSERIAL, &serial) != 0)
        return;
    serial.flags |= ASYNC_LOW_LATENCY;
    ioctl(handle, TIOCSSERIAL, &serial);
}

std::optional<int> latencyTimer(const QString &devicePath, const QString &sysClassTty)
{
    const std::optional<QString> tty = ttyName(devicePath);
    if (!tty)
        return std::nullopt;
    QFile file(sysClassTty + u'/' + *tty + QStringLiteral("/device/latency_timer"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const int milliseconds = file.readLine().trimmed().toInt(&ok);
    return ok ? std::optional(milliseconds) : std::nullopt;
}

QString latencyNotice(const QString &devicePath, int milliseconds)
{
    const QString tty = ttyName(devicePath).value_or(QString());
    return QStringLiteral("the USB adapter of %1 holds received bytes for up to %2 ms (its "
                          "latency timer), so a read can be listed and timed up to %2 ms late. "
                          "Set it to 1 ms: echo 1 | sudo tee /sys/bus/usb-serial/devices/%3/"
                          "latency_timer, or for good with the udev rule "
                          "99-pelmar-ftdi-latency.rules from Pelmar's documentation.")
        .arg(devicePath)
        .arg(milliseconds)
        .arg(tty);
}
