#include "pseudoterminal.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QString>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    termios raw {};
    cfmakeraw(&raw);
    char name[256] = {};
    if (openpty(&m_master, &m_slave, name, &raw, nullptr) != 0)
        qFatal("openpty failed");
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    // A program the test starts must not hold the line open: its hang-up would never come.
    fcntl(m_master, F_SETFD, FD_CLOEXEC);
    fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    m_devicePath = QString::fromLocal8Bit(name);
}

PseudoTerminal::~PseudoTerminal()
{
    hangUp();
}

void PseudoTerminal::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n
            = ::write(m_master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0)
            done += n;
        else
            QTest::qWait(1); // the line is full: let Pelmar read
    }
}

bool PseudoTerminal::allRead() const
{
    // poll() pushes on what the kernel still holds for the line discipline before it looks.
    pollfd waiting {m_slave, POLLIN, 0};
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
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            sent.append(buffer, n);
            quiet.restart();
        } else {
            pollfd wait {m_master, POLLIN, 0};
            poll(&wait, 1, 2);
        }
    }
    return sent;
}

void PseudoTerminal::hangUp()
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}
