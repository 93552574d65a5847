// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include "speed.h"

#include <QCommandLineParser>
#include <QString>

// What Pelmar was asked on its command line. It is read before any application object exists,
// so that what prints and ends (--help, --version, --list-ports, --check-port, --summary) needs
// no display.
class CommandLine
{
public:
    enum Action { OpenWindow, ShowHelp, ShowVersion, ListPorts, CheckPort, Summarize, Refuse };

    explicit CommandLine(const QStringList &arguments);

    Action action() const { return m_action; }
    QString port() const { return m_port; } // empty when not named
    QString logFile() const { return m_logFile; } // empty when not asked
    double scale() const { return m_scale; }

    // Everything but OpenWindow, once a QCoreApplication exists: prints to stdout, or for a bad
    // command line one line and the usage to stderr. Returns the exit status.
    int runWithoutWindow() const;

private:
    QCommandLineParser m_parser;
    Action m_action = OpenWindow;
    QString m_port;
    QString m_logFile;
    double m_scale = DefaultScale;
    QString m_error;
};

#endif // COMMANDLINE_H
