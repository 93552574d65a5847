#ifndef SERIALPORTS_H
#define SERIALPORTS_H

#include <QList>
#include <QString>

#include <functional>

// A serial port present on the machine.
struct SerialPortEntry
{
    QString devicePath; // /dev/ttyUSB0
    QString byIdPath; // its /dev/serial/by-id/ link, or empty when it has none
    QString description;
    QString manufacturer;
    QString serialNumber;
    QString vendorProduct; // "0403:6001", or empty when unknown

    // The name to open it by and to remember: a by-id link finds the adapter again in any USB
    // socket and under any ttyUSB number.
    QString name() const { return byIdPath.isEmpty() ? devicePath : byIdPath; }

    friend bool operator==(const SerialPortEntry &, const SerialPortEntry &) = default;
};

// The serial ports present now, by device path.
QList<SerialPortEntry> availableSerialPorts();

// Tests give their own list of ports; an empty function brings back the machine's.
void setSerialPortSource(std::function<QList<SerialPortEntry>()> source);

#endif // SERIALPORTS_H
