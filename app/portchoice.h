#ifndef PORTCHOICE_H
#define PORTCHOICE_H

#include "serialports.h"

#include <QList>
#include <QString>

// Which port Pelmar opens at start. Only a port that the user named or chose is opened, or port 1
// when it is the only one: opening a port resets many a DCC command station on the same desk.
struct PortChoice
{
    enum Source {
        Named, // on the command line or in PELMAR_PORT: a failure to open it ends Pelmar
        Remembered, // chosen at an earlier start
        OnlyPort, // port 1, the only serial port present
        Ask, // the user chooses
    };

    Source source = Ask;
    QString device; // empty for Ask

    friend bool operator==(const PortChoice &, const PortChoice &) = default;
};

// The command line first, then the environment, then the port remembered, then port 1 when it is
// the only port found; else ask.
PortChoice choosePort(const QString &commandLinePort, const QString &environmentPort,
                      const QString &rememberedPort, const QList<SerialPortEntry> &found);

// The port kept in the user's configuration folder, or empty.
QString rememberedPort();
// Keeps name for the next start; an empty name forgets the port.
void rememberPort(const QString &name);

#endif // PORTCHOICE_H
