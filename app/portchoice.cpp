#include "portchoice.h"

#include "commcontrol.h"

#include <QSettings>

namespace {

const QString RememberedKey = QStringLiteral("port");

QSettings settings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("pelmar"),
                     QStringLiteral("pelmar"));
}

} // namespace

PortChoice choosePort(const QString &commandLinePort, const QString &environmentPort,
                      const QString &rememberedPort, const QList<SerialPortEntry> &found)
{
    if (!commandLinePort.isEmpty())
        return {PortChoice::Named, commandLinePort};
    if (!environmentPort.isEmpty())
        return {PortChoice::Named, environmentPort};
    if (!rememberedPort.isEmpty())
        return {PortChoice::Remembered, rememberedPort};
    if (found.size() == 1 && found.constFirst().devicePath == devicePathForPort(1))
        return {PortChoice::OnlyPort, found.constFirst().devicePath};
    return {};
}

QString rememberedPort()
{
    return settings().value(RememberedKey).toString();
}

void rememberPort(const QString &name)
{
    QSettings kept = settings();
    if (name.isEmpty())
        kept.remove(RememberedKey);
    else
        kept.setValue(RememberedKey, name);
}
