#include "serialports.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
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

// ttyS2 before ttyS10: a device path's number by its value. QCollator's numeric mode would do
// it, but not in the C locale.
std::pair<QString, qulonglong> sortKey(const QString &devicePath)
{
    qsizetype digits = devicePath.size();
    while (digits > 0 && devicePath.at(digits - 1) >= u'0' && devicePath.at(digits - 1) <= u'9')
        --digits;
    return {devicePath.first(digits), devicePath.sliced(digits).toULongLong()};
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

QList<SerialPortEntry> machinePorts()
{
    QList<SerialPortEntry> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        SerialPortEntry port;
        port.devicePath = info.systemLocation();
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
    return ports;
}

} // namespace

QList<SerialPortEntry> availableSerialPorts()
{
    QList<SerialPortEntry> ports = source() ? source()() : machinePorts();
    if (!source() || !devSerial().isEmpty())
        addUdevLinks(ports);
    std::sort(ports.begin(), ports.end(), [](const auto &a, const auto &b) {
        return sortKey(a.devicePath) < sortKey(b.devicePath);
    });
    return ports;
}

void setSerialPortSource(std::function<QList<SerialPortEntry>()> newSource)
{
    source() = std::move(newSource);
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

std::optional<QString> deviceIdentity(const QString &path)
{
    const QString device = QFileInfo(path).canonicalFilePath();
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
    } else {
        // Read for this one device from sysfs: listing every port through udev would take tens
        // of milliseconds at every open.
        const QString tty = QFileInfo(device).fileName();
        QString folder
            = QFileInfo(QStringLiteral("/sys/class/tty/%1/device").arg(tty)).canonicalFilePath();
        for (int up = 0; up < UsbDeviceLevels && !folder.isEmpty(); ++up) {
            if (QFileInfo::exists(folder + QStringLiteral("/idVendor"))) {
                vendorProduct
                    = sysfsValue(folder, "idVendor") + u':' + sysfsValue(folder, "idProduct");
                serialNumber = sysfsValue(folder, "serial");
                break;
            }
            folder = QFileInfo(folder).path();
        }
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
