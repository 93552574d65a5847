#include "serialports.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

#include <algorithm>

namespace {

std::function<QList<SerialPortEntry>()> &source()
{
    static std::function<QList<SerialPortEntry>()> current;
    return current;
}

// udev's by-id links, by the device each one leads to. The folder is missing while no USB
// serial adapter is plugged in.
QHash<QString, QString> byIdLinks()
{
    QHash<QString, QString> links;
    const QDir folder(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &link : folder.entryInfoList(QDir::System | QDir::Files, QDir::Name))
        links.insert(link.canonicalFilePath(), link.absoluteFilePath());
    return links;
}

QList<SerialPortEntry> machinePorts()
{
    const QHash<QString, QString> links = byIdLinks();
    QList<SerialPortEntry> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        SerialPortEntry port;
        port.devicePath = info.systemLocation();
        port.byIdPath = links.value(port.devicePath);
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.serialNumber = info.serialNumber();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
            port.vendorProduct = QStringLiteral("%1:%2")
                                     .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                                     .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
        }
        ports << port;
    }
    // ttyS2 before ttyS10.
    QCollator collator;
    collator.setNumericMode(true);
    std::sort(ports.begin(), ports.end(), [&](const auto &a, const auto &b) {
        return collator.compare(a.devicePath, b.devicePath) < 0;
    });
    return ports;
}

} // namespace

QList<SerialPortEntry> availableSerialPorts()
{
    return source() ? source()() : machinePorts();
}

void setSerialPortSource(std::function<QList<SerialPortEntry>()> newSource)
{
    source() = std::move(newSource);
}
