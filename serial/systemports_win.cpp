// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "systemports.h"

#include <QRegularExpression>
#include <QSerialPortInfo>

#include <windows.h>

#include <devguid.h>
#include <setupapi.h>

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

// The service that Windows runs for the device: among the ports, the one whose device key names
// it.
QString driverName(const QString &device)
{
    const HDEVINFO ports
        = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (ports == INVALID_HANDLE_VALUE)
        return {};
    QString driver;
    SP_DEVINFO_DATA info {};
    info.cbSize = sizeof info;
    for (DWORD i = 0; driver.isEmpty() && SetupDiEnumDeviceInfo(ports, i, &info); ++i) {
        const HKEY key
            = SetupDiOpenDevRegKey(ports, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        wchar_t name[64] = {};
        DWORD size = sizeof name - sizeof name[0];
        const bool named = RegQueryValueExW(key, L"PortName", nullptr, nullptr,
                                            reinterpret_cast<BYTE *>(name), &size)
            == ERROR_SUCCESS;
        RegCloseKey(key);
        if (!named || comName(QString::fromWCharArray(name)) != comName(device))
            continue;
        wchar_t service[256] = {};
        if (SetupDiGetDeviceRegistryPropertyW(ports, &info, SPDRP_SERVICE, nullptr,
                                              reinterpret_cast<BYTE *>(service),
                                              sizeof service - sizeof service[0], nullptr))
            driver = QString::fromWCharArray(service);
    }
    SetupDiDestroyDeviceInfoList(ports);
    return driver;
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

// Qt opens a name as a COM port, \\.\COM12, only when it begins with upper-case COM: com12 would
// be a file of that name.
QString systemLocation(const QString &name)
{
    const QString com = comName(name);
    static const QRegularExpression comPort(QStringLiteral("^COM[0-9]+$"));
    return comPort.match(com).hasMatch() ? com : name;
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
