// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "serialports.h"

#include "systemports.h"

#include <QSerialPortInfo>
#include <QStringList>

#include <algorithm>
#include <utility>

namespace {

std::function<QList<SerialPortEntry>()> &source()
{
    static std::function<QList<SerialPortEntry>()> current;
    return current;
}

// ttyS2 before ttyS10, COM2 before COM10: a device path's number by its value. QCollator's
// numeric mode would do it, but not in the C locale.
std::pair<QString, qulonglong> sortKey(const QString &devicePath)
{
    qsizetype digits = devicePath.size();
    while (digits > 0 && devicePath.at(digits - 1) >= u'0' && devicePath.at(digits - 1) <= u'9')
        --digits;
    return {devicePath.first(digits), devicePath.sliced(digits).toULongLong()};
}

QList<SerialPortEntry> machinePorts()
{
    QList<SerialPortEntry> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        SerialPortEntry port;
        port.devicePath = deviceName(info);
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.serialNumber = info.serialNumber();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier())
            port.vendorProduct = vendorProduct(info.vendorIdentifier(), info.productIdentifier());
        ports << port;
    }
    return ports;
}

} // namespace

QString vendorProduct(quint16 vendor, quint16 product)
{
    return QStringLiteral("%1:%2")
        .arg(vendor, 4, 16, QLatin1Char('0'))
        .arg(product, 4, 16, QLatin1Char('0'));
}

QList<SerialPortEntry> availableSerialPorts()
{
    QList<SerialPortEntry> ports = source() ? source()() : machinePorts();
    addSystemNames(ports, bool(source()));
    std::sort(ports.begin(), ports.end(), [](const auto &a, const auto &b) {
        return sortKey(a.devicePath) < sortKey(b.devicePath);
    });
    return ports;
}

void setSerialPortSource(std::function<QList<SerialPortEntry>()> newSource)
{
    source() = std::move(newSource);
}

std::optional<QString> deviceIdentity(const QString &path)
{
    const QString device = canonicalDevice(path);
    if (device.isEmpty())
        return std::nullopt;
    QString vendorProduct;
    QString serialNumber;
    if (source()) {
        for (const SerialPortEntry &port : source()()) {
            if (port.devicePath == device) {
                vendorProduct = port.vendorProduct;
                serialNumber = port.serialNumber;
            }
        }
    } else if (const std::optional<UsbIdentity> usb = usbIdentity(device)) {
        vendorProduct = usb->vendorProduct;
        serialNumber = usb->serialNumber;
    }
    if (vendorProduct.isEmpty())
        return std::nullopt;
    return (vendorProduct + u' ' + serialNumber).trimmed();
}

QString portListing(const QList<SerialPortEntry> &ports)
{
    if (ports.isEmpty()) {
        return QStringLiteral("No serial port found. Plug in the scanner's USB adapter, or name "
                              "its device with --port.\n");
    }
    const auto field
        = [](const QString &text) { return text.isEmpty() ? QStringLiteral("-") : text; };
    QString listing;
    for (const SerialPortEntry &port : ports) {
        listing += QStringList {port.devicePath,          field(port.byIdPath),
                                field(port.description),  field(port.manufacturer),
                                field(port.serialNumber), field(port.vendorProduct)}
                       .join(u'\t')
            + u'\n';
    }
    return listing;
}
