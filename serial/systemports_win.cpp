#include "systemports.h"

#include <QSerialPortInfo>

#include <windows.h>

namespace {

// COM3, however it is typed: Windows' names of devices know no case.
QString comName(const QString &name)
{
    QString com = name.trimmed().toUpper();
    if (com.startsWith(QStringLiteral("\\\\.\\")))
        com.remove(0, 4);
    return com;
}

} // namespace

QString deviceName(const QSerialPortInfo &info)
{
    return info.portName();
}

void addSystemNames(QList<SerialPortEntry> &, bool) { }

QString canonicalDevice(const QString &path)
{
    return deviceIsPresent(path) ? comName(path) : QString();
}

std::optional<UsbIdentity> usbIdentity(const QString &device)
{
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (comName(info.portName()) == device && info.hasVendorIdentifier()
            && info.hasProductIdentifier()) {
            return UsbIdentity {vendorProduct(info.vendorIdentifier(), info.productIdentifier()),
                                info.serialNumber()};
        }
    }
    return std::nullopt;
}

// Asks for the one name, as a look four times a second while the scanner is away must cost
// nothing: listing every port would ask every driver.
bool deviceIsPresent(const QString &path)
{
    wchar_t target[MAX_PATH];
    return QueryDosDeviceW(reinterpret_cast<const wchar_t *>(comName(path).utf16()), target,
                           MAX_PATH)
        != 0;
}

QString devicePathForPort(int number)
{
    return QStringLiteral("COM%1").arg(number);
}

QString systemLocation(const QString &name)
{
    return name;
}

QString examplePortName()
{
    return QStringLiteral("COM3");
}

QString portNamingHelp()
{
    return QStringLiteral("The scanner's serial port, e.g. COM3 (the Device Manager lists the "
                          "ports under Ports (COM & LPT)).");
}
