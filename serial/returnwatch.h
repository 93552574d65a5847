// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef RETURNWATCH_H
#define RETURNWATCH_H

#include "openerror.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

// Waits for a serial device that went away to come back under the same name, and has it opened
// again. A by-id link finds the adapter again under its new ttyUSB number; another adapter given
// the old name meanwhile is known by its identity and left alone; a device that is back but
// cannot be opened yet is tried again until it opens.
class ReturnWatch : public QObject
{
    Q_OBJECT

public:
    // reopen opens the device again as it was, or says why it cannot.
    explicit ReturnWatch(std::function<OpenResult()> reopen, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(ReturnWatch)

    // Whether a device gone from devicePath can come back there. A pseudo-terminal's number goes
    // to the next program that asks for one: only a name that stands for the scanner (a device, a
    // by-id link, a simulator's link) comes back.
    static bool waitsFor(const QString &devicePath);

    // Waits for the device last opened at devicePath, known by its identity (nothing for a device
    // that tells none), if it can come back.
    void start(const QString &devicePath, const std::optional<QString> &identity);
    void stop();

signals:
    // A line for the log of what became of the device: back, refused, or another in its place.
    void notice(const QString &line);

private:
    void look();

    std::function<OpenResult()> m_reopen;
    QString m_devicePath;
    std::optional<QString> m_identity;
    QTimer m_check;
    QElapsedTimer m_refusedSince;
    bool m_toldOnce = false;
};

#endif // RETURNWATCH_H
