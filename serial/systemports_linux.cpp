// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "systemports.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

namespace {

QString &sysClassTtyGiven()
{
    static QString current;
    return current;
}

QString &devSerial()
{
    static QString current;
    return current;
}

// udev's links in /dev/serial/by-id or by-path, by the device each one leads to. The folders are
// missing while no USB serial adapter is plugged in.
QHash<QString, QString> udevLinks(const QString &kind)
{
    QHash<QString, QString> links;
    const QString root = devSerial().isEmpty() ? QStringLiteral("/dev/serial") : devSerial();
    const QDir folder(root + u'/' + kind);
    for (const QFileInfo &link : folder.entryInfoList(QDir::System | QDir::Files, QDir::Name))
        links.insert(link.canonicalFilePath(), link.absoluteFilePath());
    return links;
}

// From a tty's device folder up to the USB device that holds idVendor: the interface, and for a
// USB serial converter the port below it.
constexpr int UsbDeviceLevels = 3;

QString sysfsValue(const QString &folder, const char *name)
{
    QFile file(folder + u'/' + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll().trimmed())
                                          : QString();
}

// Qt lists no link, so each port is given udev's here.
void addUdevLinks(QList<SerialPortEntry> &ports)
{
    const QHash<QString, QString> byId = udevLinks(QStringLiteral("by-id"));
    const QHash<QString, QString> byPath = udevLinks(QStringLiteral("by-path"));
    for (SerialPortEntry &port : ports) {
        port.byIdPath = byId.value(port.devicePath);
        port.byPathPath = byPath.value(port.devicePath);
    }
}

} // namespace

QString deviceName(const QSerialPortInfo &info)
{
    return info.systemLocation();
}

void addSystemNames(QList<SerialPortEntry> &ports, bool fromTests)
{
    if (!fromTests || !devSerial().isEmpty())
        addUdevLinks(ports);
}

QString canonicalDevice(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

// Read for this one device from sysfs: listing every port through udev would take tens of
// milliseconds at every open.
std::optional<UsbIdentity> usbIdentity(const QString &device)
{
    const QString tty = QFileInfo(device).fileName();
    QString folder
        = QFileInfo(sysClassTty() + u'/' + tty + QStringLiteral("/device")).canonicalFilePath();
    for (int up = 0; up < UsbDeviceLevels && !folder.isEmpty(); ++up) {
        if (QFileInfo::exists(folder + QStringLiteral("/idVendor"))) {
            return UsbIdentity {sysfsValue(folder, "idVendor") + u':'
                                    + sysfsValue(folder, "idProduct"),
                                sysfsValue(folder, "serial")};
        }
        folder = QFileInfo(folder).path();
    }
    return std::nullopt;
}

QString driverName(const QString &device)
{
    const QString tty = QFileInfo(device).fileName();
    return QFileInfo(QFileInfo(sysClassTty() + u'/' + tty + QStringLiteral("/device/driver"))
                         .canonicalFilePath())
        .fileName();
}

QString sysClassTty()
{
    return sysClassTtyGiven().isEmpty() ? QStringLiteral("/sys/class/tty") : sysClassTtyGiven();
}

void setSysClassTty(const QString &folder)
{
    sysClassTtyGiven() = folder;
}

bool deviceIsPresent(const QString &path)
{
    return QFileInfo::exists(path);
}

QString examplePortName()
{
    return QStringLiteral("/dev/ttyUSB0");
}

QString portNamingHelp()
{
    return QStringLiteral("The scanner's serial device, e.g. /dev/ttyUSB0 or a /dev/serial/by-id/ "
                          "link; a name that does not start with /, ./ or ../ is taken in /dev "
                          "(ttyUSB0 is /dev/ttyUSB0).");
}

void setDevSerial(const QString &folder)
{
    devSerial() = folder;
}

QString devicePathForPort(int number)
{
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
}

QString systemLocation(const QString &name)
{
    if (name.startsWith(u'/') || name.startsWith(QStringLiteral("./"))
        || name.startsWith(QStringLiteral("../"))) {
        return name;
    }
    return QStringLiteral("/dev/") + name;
}

std::optional<QString> ttyName(const QString &path)
{
    const QString device = QFileInfo(path).canonicalFilePath();
    if (device.isEmpty())
        return std::nullopt;
    return QFileInfo(device).fileName();
}
