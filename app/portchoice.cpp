// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "portchoice.h"

#include <QSettings>

#include <utility>

namespace {

const QString RememberedKey = QStringLiteral("port");
const QString IdentityKey = QStringLiteral("identity");

QSettings settings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("pelmar"),
                     QStringLiteral("pelmar"));
}

} // namespace

PortChoice choosePort(const QString &commandLinePort, const QString &environmentPort,
                      const std::function<QString()> &rememberedPort,
                      const std::function<QList<SerialPortEntry>()> &found)
{
    if (!commandLinePort.isEmpty())
        return {PortChoice::Named, commandLinePort};
    if (!environmentPort.isEmpty())
        return {PortChoice::Named, environmentPort};
    if (const QString remembered = rememberedPort(); !remembered.isEmpty())
        return {PortChoice::Remembered, remembered};
    const QList<SerialPortEntry> ports = found();
    if (ports.size() == 1 && ports.constFirst().devicePath == devicePathForPort(1))
        return {PortChoice::OnlyPort, ports.constFirst().devicePath};
    return {};
}

Result<bool>
openScannerPort(const PortChoice &choice, const std::function<Result<>(const QString &port)> &open,
                const std::function<std::optional<ChooserAnswer>(const QString &failedPort,
                                                                 const QString &reason)> &ask)
{
    if (choice.source == PortChoice::Named) {
        const Result<> opened = open(choice.device);
        return opened ? Result<bool>(true) : Result<bool>::failure(opened.error());
    }
    QString port = choice.device;
    QString failedPort;
    QString reason;
    std::optional<bool> remember;
    for (;;) {
        if (port.isEmpty()) {
            const std::optional<ChooserAnswer> answer = ask(failedPort, reason);
            if (!answer)
                return Result<bool>(false);
            port = answer->port;
            remember = answer->remember;
        }
        const Result<> opened = open(port);
        if (opened) {
            if (remember)
                rememberPort(*remember ? port : QString());
            return Result<bool>(true);
        }
        reason = opened.error();
        failedPort = std::exchange(port, {});
    }
}

// Windows gives an adapter another COM number in another USB socket, and its old number to the
// next adapter plugged in: the adapter is found again by what it tells of itself. A port that now
// tells another identity is another adapter, which is not opened unasked.
QString rememberedPort()
{
    const QSettings kept = settings();
    const QString name = kept.value(RememberedKey).toString();
    const QString identity = kept.value(IdentityKey).toString();
    if (name.isEmpty() || identity.isEmpty() || deviceIdentity(name) == identity)
        return name;
    for (const SerialPortEntry &port : availableSerialPorts()) {
        if (deviceIdentity(port.devicePath) == identity)
            return port.name();
    }
    return deviceIsPresent(name) ? QString() : name;
}

void rememberPort(const QString &name)
{
    QSettings kept = settings();
    if (name.isEmpty()) {
        kept.remove(RememberedKey);
        kept.remove(IdentityKey);
        return;
    }
    kept.setValue(RememberedKey, name);
    // Only a serial number tells one adapter from another of its make, which may be a command
    // station's; deviceIdentity gives it after the VID:PID.
    const std::optional<QString> identity = deviceIdentity(name);
    if (identity && identity->contains(u' '))
        kept.setValue(IdentityKey, *identity);
    else
        kept.remove(IdentityKey);
}
