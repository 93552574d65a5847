// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef PORTCHOICE_H
#define PORTCHOICE_H

#include "result.h"
#include "serialports.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

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
// the only port found; else ask. The remembered port and the ports found are looked up only
// when nothing is named, which keeps that start quick.
PortChoice choosePort(const QString &commandLinePort, const QString &environmentPort,
                      const std::function<QString()> &rememberedPort,
                      const std::function<QList<SerialPortEntry>()> &found);

// What the user answered in the port chooser.
struct ChooserAnswer
{
    QString port;
    bool remember = true;
};

// Opens the port choice names, or the one the user chooses, and gives whether a port opened:
// false when the user quit. open tries a port; ask shows the chooser, with the port that failed
// and why, and returns nothing when the user quits. A named port is tried once, and its failure
// is the result's. Any other that fails brings up the chooser, again and again until a port
// opens or the user quits; a port chosen there is remembered (or the remembered one forgotten)
// once it has opened.
Result<bool>
openScannerPort(const PortChoice &choice, const std::function<Result<>(const QString &port)> &open,
                const std::function<std::optional<ChooserAnswer>(const QString &failedPort,
                                                                 const QString &reason)> &ask);

// The port kept in the user's configuration (a folder on Linux, the registry on Windows), or
// empty. An adapter that told its identity when it was kept is looked for under another name
// when its own now leads to another device or to none; empty when another device has the name
// and the adapter is nowhere.
QString rememberedPort();
// Keeps name, and the identity of the device open there, for the next start; an empty name
// forgets the port.
void rememberPort(const QString &name);

#endif // PORTCHOICE_H
