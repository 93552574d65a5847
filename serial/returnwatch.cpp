// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "returnwatch.h"

#include "serialports.h"

#include <utility>

namespace {

// Often enough to open the device within a second of its return, seldom enough to cost nothing.
constexpr int CheckMilliseconds = 250;
// udev gives a new node its group and mode a moment after it appears; a device still refused
// after this long is worth a word.
constexpr int RefusedBeforeToldMilliseconds = 2000;

} // namespace

ReturnWatch::ReturnWatch(std::function<OpenResult()> reopen, QObject *parent)
    : QObject(parent), m_reopen(std::move(reopen))
{
    m_check.setInterval(CheckMilliseconds);
    connect(&m_check, &QTimer::timeout, this, &ReturnWatch::look);
}

bool ReturnWatch::waitsFor(const QString &devicePath)
{
    return !devicePath.startsWith(QStringLiteral("/dev/pts/"));
}

void ReturnWatch::start(const QString &devicePath, const std::optional<QString> &identity)
{
    m_devicePath = devicePath;
    m_identity = identity;
    m_refusedSince.invalidate();
    m_toldOnce = false;
    if (waitsFor(devicePath))
        m_check.start();
}

void ReturnWatch::stop()
{
    m_check.stop();
}

void ReturnWatch::look()
{
    if (!deviceIsPresent(m_devicePath))
        return;
    const std::optional<QString> identity = deviceIdentity(m_devicePath);
    if (m_identity && identity != m_identity) {
        // A device that tells nothing about itself is not taken for the scanner either.
        if (identity && !m_toldOnce) {
            m_toldOnce = true;
            emit notice(QStringLiteral("%1 is now another device (%2, not the scanner's %3); "
                                       "Pelmar leaves it alone and waits for the scanner")
                            .arg(m_devicePath, *identity, *m_identity));
        }
        return;
    }
    const OpenResult opened = m_reopen();
    if (opened) {
        m_check.stop();
        emit notice(QStringLiteral("the scanner's serial port %1 is back and open again")
                        .arg(m_devicePath));
        return;
    }
    if (!m_refusedSince.isValid())
        m_refusedSince.start();
    if (!m_toldOnce && m_refusedSince.hasExpired(RefusedBeforeToldMilliseconds)) {
        m_toldOnce = true;
        emit notice(QStringLiteral("the scanner's serial port %1 is back but cannot be opened "
                                   "yet, and Pelmar keeps trying: %2")
                        .arg(m_devicePath, opened.error().description()));
    }
}
