// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef STARTEDWINDOW_H
#define STARTEDWINDOW_H

#include "form1.h"
#include "messagebox.h"
#include "pseudoterminal.h"
#include "timeofday.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class ReadList;

// Pelmar's window after load, on the slave end of a pseudo-terminal, with its message boxes
// captured in messages (through setMessageHandler). Its clock is the real one until read() sets
// the time of day (through setTimeOfDaySource).
struct StartedWindow
{
    // Throws RunTimeError when the window cannot open the line.
    explicit StartedWindow(const QByteArray &sentBeforeStart = {});
    ~StartedWindow();
    StartedWindow(const StartedWindow &) = delete;
    StartedWindow &operator=(const StartedWindow &) = delete;

    int lines() const;
    QString line(int row) const;
    // Oldest first, so that a list that only grows keeps what it had as its first rows.
    QStringList linesOldestFirst() const;
    // The list's lines themselves, to fill it without going through the line.
    ReadList &reads() const;
    // One read of the scanner, stamped with the time of day at; waits until it is listed.
    void read(const QByteArray &code, float at);

    PseudoTerminal scanner;
    Form1 form;
    QStringList messages;
};

#endif // STARTEDWINDOW_H
