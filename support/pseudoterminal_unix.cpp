// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "pseudoterminal.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

static_assert(PseudoTerminal::DataTerminalReady == TIOCM_DTR);
static_assert(PseudoTerminal::RequestToSend == TIOCM_RTS);

struct PseudoTerminal::Line
{
    int master = -1;
    int slave = -1;
    QString devicePath;
    QString link; // empty when the line goes by its device's name
    std::unique_ptr<QTemporaryDir> folder; // holds the link of a lasting name of the line's own

    void open()
    {
        termios raw {};
        cfmakeraw(&raw);
        char name[256] = {};
        if (openpty(&master, &slave, name, &raw, nullptr) != 0)
            qFatal("openpty failed");
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        // A program the test starts must not hold the line open: its hang-up would never come.
        fcntl(master, F_SETFD, FD_CLOEXEC);
        fcntl(slave, F_SETFD, FD_CLOEXEC);
        devicePath = QString::fromLocal8Bit(name);
        if (!link.isEmpty() && !QFile::link(devicePath, link))
            qFatal("cannot make the link %s", qPrintable(link));
    }
};

PseudoTerminal::PseudoTerminal(Naming naming) : m_line(std::make_unique<Line>())
{
    if (naming == Naming::Lasting) {
        m_line->folder = std::make_unique<QTemporaryDir>();
        m_line->link = m_line->folder->filePath(QStringLiteral("scanner"));
    }
    m_line->open();
}

PseudoTerminal::PseudoTerminal(const QString &name) : m_line(std::make_unique<Line>())
{
    m_line->link = name;
    m_line->open();
}

PseudoTerminal::~PseudoTerminal()
{
    hangUp();
}

QString PseudoTerminal::devicePath() const
{
    return m_line->devicePath;
}

QString PseudoTerminal::name() const
{
    return m_line->link.isEmpty() ? m_line->devicePath : m_line->link;
}

void PseudoTerminal::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_line->master, bytes.constData() + done,
                                  static_cast<size_t>(bytes.size() - done));
        if (n > 0)
            done += n;
        else
            QTest::qWait(1); // the line is full: let Pelmar read
    }
}

bool PseudoTerminal::allRead() const
{
    // poll() pushes on what the kernel still holds for the line discipline before it looks.
    pollfd waiting {m_line->slave, POLLIN, 0};
    return poll(&waiting, 1, 0) == 0;
}

QByteArray PseudoTerminal::readSent(int quietMs, int totalMs)
{
    QByteArray sent;
    QElapsedTimer total;
    QElapsedTimer quiet;
    total.start();
    quiet.start();
    while (quiet.elapsed() < quietMs && total.elapsed() < totalMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        char buffer[4096];
        const ssize_t n = ::read(m_line->master, buffer, sizeof buffer);
        if (n > 0) {
            sent.append(buffer, n);
            quiet.restart();
        } else {
            pollfd wait {m_line->master, POLLIN, 0};
            poll(&wait, 1, 2);
        }
    }
    return sent;
}

void PseudoTerminal::hangUp()
{
    if (m_line->slave >= 0)
        ::close(m_line->slave);
    if (m_line->master >= 0)
        ::close(m_line->master);
    m_line->slave = m_line->master = -1;
    if (!m_line->link.isEmpty())
        QFile::remove(m_line->link);
}

void PseudoTerminal::plugIn()
{
    if (m_line->master < 0)
        m_line->open();
}

std::optional<int> PseudoTerminal::modemLines() const
{
    int lines = 0;
    if (ioctl(m_line->master, TIOCMGET, &lines) != 0)
        return std::nullopt;
    return lines & (DataTerminalReady | RequestToSend);
}
